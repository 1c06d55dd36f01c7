#include "stored_format.h"

#include <QFile>
#include <QSettings>

std::optional<std::string> StoredFormat() {
    // The window's settings live under its own application name.
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorvant"),
                       QStringLiteral("Velmora"));
    const QVariant value = settings.value(QStringLiteral("Settings/Default Format"));
    if (!value.isValid())
        return std::nullopt;
    return QFile::encodeName(value.toString()).toStdString();
}
