#include "velmora_app.h"

#include "velmora_dlg.h"

#include <QCoreApplication>
#include <QSettings>

CVelmoraApp theApp;

namespace {

// The application name is the executable's base name, so a renamed program
// keeps its settings apart.
QSettings OpenSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, CVelmoraApp::kCompany,
                     QCoreApplication::applicationName());
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
    QSettings settings = OpenSettings();
    settings.beginGroup(section);
    const QVariant value = settings.value(entry);
    return value.isValid() ? value.toString() : defaultValue;
}

void CVelmoraApp::WriteProfileString(const QString& section, const QString& entry,
                                     const QString& value) {
    QSettings settings = OpenSettings();
    settings.beginGroup(section);
    settings.setValue(entry, value);
}

velmora::CClockOffsets CVelmoraApp::GetClockOffsets() const {
    QSettings settings = OpenSettings();
    settings.beginGroup(QString::fromLatin1(kClocksSection));
    velmora::CClockOffsets offsets;
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

void CVelmoraApp::WriteClockOffset(const std::string& key, std::int64_t seconds) {
    QSettings settings = OpenSettings();
    settings.beginGroup(QString::fromLatin1(kClocksSection));
    if (seconds == 0)
        settings.remove(QString::fromStdString(key));
    else
        settings.setValue(QString::fromStdString(key), qint64(seconds));
}
