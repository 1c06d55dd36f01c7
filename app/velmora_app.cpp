#include "velmora_app.h"

#include "clock_settings.h"
#include "settings_file.h"
#include "velmora_dlg.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTimer>

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
    if (theApp.GetProfileString(kSettingsSection, kMaximizedEntry, QString()) ==
        QStringLiteral("true"))
        dlg.setWindowState(Qt::WindowMaximized);
    // The window is on show before the folder is read: the scan's progress
    // appears in it.
    if (!startPath.empty())
        QTimer::singleShot(0, &dlg, [&dlg, startPath] { dlg.OnDropFiles(startPath); });
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
    return ReadClockOffsets(file);
}

QString CVelmoraApp::WriteClockSpans(const std::string& key, const velmora::CClockSpans& spans) {
    CSettingsFile file = OpenSettings();
    return ::WriteClockSpans(file, key, spans);
}
