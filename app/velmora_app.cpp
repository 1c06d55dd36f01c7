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
        // An entry edited into something else is ignored, as the terminal does.
        velmora::CClockSpans spans;
        for (const QString& value : settings.value(key).toStringList()) {
            if (const auto span = velmora::ParseClockSpan(value.toStdString()))
                spans.push_back(*span);
        }
        if (!spans.empty())
            offsets[key.toStdString()] = std::move(spans);
    }
    return offsets;
}

void CVelmoraApp::WriteClockSpans(const std::string& key, const velmora::CClockSpans& spans) {
    QSettings settings = OpenSettings();
    settings.beginGroup(QString::fromLatin1(kClocksSection));
    QStringList values;
    for (const velmora::CClockSpan& span : spans)
        values << QString::fromStdString(velmora::ClockSpanValue(span));
    if (values.size() == 1)
        settings.setValue(QString::fromStdString(key), values.front());
    else if (!values.empty())
        settings.setValue(QString::fromStdString(key), values);
    else
        settings.remove(QString::fromStdString(key));
}
