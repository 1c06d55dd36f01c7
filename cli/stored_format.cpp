#include "stored_format.h"

#include "clock_settings.h"
#include "settings_file.h"

#include <QFile>
#include <QSettings>

namespace {

// The window's settings live under its own application name.
CSettingsFile WindowSettings() {
    return CSettingsFile(QStringLiteral("Velmora"));
}

} // namespace

std::string StoredSettingsProblem() {
    return WindowSettings().Problem().toStdString();
}

CStoredScanSettings StoredScanSettings() {
    CSettingsFile file = WindowSettings();
    CStoredScanSettings stored;
    if (file.Settings() == nullptr)
        return stored;
    const QSettings& settings = *file.Settings();
    const QVariant types = settings.value(QStringLiteral("Settings/File Types"));
    if (types.isValid())
        stored.allTypes = types.toString() == QStringLiteral("all");
    const QVariant companions = settings.value(QStringLiteral("Settings/Companions"));
    if (companions.isValid())
        stored.companions = companions.toBool();
    const QVariant undated = settings.value(QStringLiteral("Settings/Dates for Undated Files"));
    if (undated.isValid())
        stored.undated = velmora::UndatedDatesFromName(undated.toString().toStdString());
    const QVariant extension = settings.value(QStringLiteral("Settings/Extension Case"));
    if (extension.isValid())
        stored.extensionCase = velmora::ExtensionCaseFromName(extension.toString().toStdString());
    return stored;
}

std::optional<std::string> StoredFormat() {
    CSettingsFile file = WindowSettings();
    if (file.Settings() == nullptr)
        return std::nullopt;
    const QSettings& settings = *file.Settings();
    const QVariant value = settings.value(QStringLiteral("Settings/Default Format"));
    if (!value.isValid())
        return std::nullopt;
    return QFile::encodeName(value.toString()).toStdString();
}

velmora::CClockOffsets StoredClockOffsets() {
    CSettingsFile file = WindowSettings();
    return ReadClockOffsets(file);
}

std::string StoreClockSpans(const std::string& key, const velmora::CClockSpans& spans) {
    CSettingsFile file = WindowSettings();
    const QString error = WriteClockSpans(file, key, spans);
    // A change that did not reach the file must not be reported as made.
    return error.isEmpty() ? std::string() : error.toStdString() + "; nothing was stored";
}
