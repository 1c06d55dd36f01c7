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

velmora::CClockOffsets StoredClockOffsets() {
    QSettings settings = WindowSettings();
    settings.beginGroup(QStringLiteral("Clocks"));
    velmora::CClockOffsets clocks;
    for (const QString& key : settings.childKeys()) {
        velmora::CClockSpans spans;
        for (const QString& value : settings.value(key).toStringList()) {
            if (const auto span = velmora::ParseClockSpan(value.toStdString()))
                spans.push_back(*span);
        }
        if (!spans.empty())
            clocks[key.toStdString()] = std::move(spans);
    }
    return clocks;
}

std::string StoreClockSpans(const std::string& key, const velmora::CClockSpans& spans) {
    QSettings settings = WindowSettings();
    const QString name = QStringLiteral("Clocks/") + QString::fromStdString(key);
    QStringList values;
    for (const velmora::CClockSpan& span : spans)
        values << QString::fromStdString(velmora::ClockSpanValue(span));
    if (values.size() == 1)
        settings.setValue(name, values.front()); // read as before spans were kept
    else if (!values.empty())
        settings.setValue(name, values);
    else
        settings.remove(name);
    // A change that did not reach the file must not be reported as made.
    settings.sync();
    switch (settings.status()) {
    case QSettings::NoError:
        return {};
    case QSettings::AccessError:
        return "the settings file " + settings.fileName().toStdString() + " could not be written";
    default:
        return "the settings file " + settings.fileName().toStdString() + " is damaged";
    }
}
