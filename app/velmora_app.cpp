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
