#include "velmora_app.h"

#include "settings_file.h"
#include "velmora_dlg.h"

#include <QCoreApplication>
#include <QSettings>

CVelmoraApp theApp;

namespace {

// The application name is the executable's base name, so a renamed program
// keeps its settings apart.
CSettingsFile OpenSettings() {
    return CSettingsFile(QCoreApplication::applicationName());
}

} // namespace

bool CVelmoraApp::InitInstance(const std::string& startPath) {
    CVelmoraDlg dlg;
    if (!startPath.empty()) {
        dlg.show();
        dlg.OnDropFiles(startPath);
    }
    dlg.exec();
    return false;
}

QString CVelmoraApp::GetProfileString(const QString& section, const QString& entry,
                                      const QString& defaultValue) const {
    CSettingsFile file = OpenSettings();
    if (file.Settings() == nullptr)
        return defaultValue;
    QSettings& settings = *file.Settings();
    settings.beginGroup(section);
    const QVariant value = settings.value(entry);
    return value.isValid() ? value.toString() : defaultValue;
}

QString CVelmoraApp::WriteProfileString(const QString& section, const QString& entry,
                                        const QString& value) {
    return OpenSettings().Write(section + QLatin1Char('/') + entry, value);
}

velmora::CClockOffsets CVelmoraApp::GetClockOffsets() const {
    CSettingsFile file = OpenSettings();
    velmora::CClockOffsets offsets;
    if (file.Settings() == nullptr)
        return offsets;
    QSettings& settings = *file.Settings();
    settings.beginGroup(QString::fromLatin1(kClocksSection));
    for (const QString& key : settings.allKeys()) {
        bool valid = false;
        const qint64 seconds = settings.value(key).toLongLong(&valid);
        // An entry edited out of range is ignored, as the terminal does.
        if (valid && seconds != 0 && seconds >= -velmora::kMaxClockOffset &&
            seconds <= velmora::kMaxClockOffset)
            offsets[key.toStdString()] = seconds;
    }
    return offsets;
}

QString CVelmoraApp::WriteClockOffset(const std::string& key, std::int64_t seconds) {
    return OpenSettings().Write(QString::fromLatin1(kClocksSection) + QLatin1Char('/') +
                                    QString::fromStdString(key),
                                seconds == 0 ? QVariant() : QVariant(qint64(seconds)));
}
