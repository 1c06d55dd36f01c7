#include "stored_format.h"

#include <QFile>
#include <QSettings>

namespace {

// The window's settings live under its own application name.
QSettings WindowSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorvant"),
                     QStringLiteral("Velmora"));
}

} // namespace

CStoredScanSettings StoredScanSettings() {
    const QSettings settings = WindowSettings();
    CStoredScanSettings stored;
    const QVariant types = settings.value(QStringLiteral("Settings/File Types"));
    if (types.isValid())
        stored.allTypes = types.toString() == QStringLiteral("all");
    const QVariant companions = settings.value(QStringLiteral("Settings/Companions"));
    if (companions.isValid())
        stored.companions = companions.toBool();
    const QVariant undated = settings.value(QStringLiteral("Settings/Dates for Undated Files"));
    if (undated.isValid())
        stored.undated = velmora::UndatedDatesFromName(undated.toString().toStdString());
    return stored;
}

std::optional<std::string> StoredFormat() {
    const QSettings settings = WindowSettings();
    const QVariant value = settings.value(QStringLiteral("Settings/Default Format"));
    if (!value.isValid())
        return std::nullopt;
    return QFile::encodeName(value.toString()).toStdString();
}
