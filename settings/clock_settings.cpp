#include "clock_settings.h"

#include <QSettings>
#include <QStringList>

namespace {

const QString kClocksGroup = QStringLiteral("Clocks");

} // namespace

velmora::CClockOffsets ReadClockOffsets(CSettingsFile& file) {
    velmora::CClockOffsets clocks;
    if (file.Settings() == nullptr)
        return clocks;
    QSettings& settings = *file.Settings();
    settings.beginGroup(kClocksGroup);
    for (const QString& key : settings.childKeys()) {
        // An entry edited into something else is ignored.
        velmora::CClockSpans spans;
        for (const QString& value : settings.value(key).toStringList()) {
            if (const auto span = velmora::ParseClockSpan(value.toStdString()))
                spans.push_back(*span);
        }
        if (!spans.empty())
            clocks[key.toStdString()] = std::move(spans);
    }
    settings.endGroup();
    return clocks;
}

QString WriteClockSpans(CSettingsFile& file, const std::string& key,
                        const velmora::CClockSpans& spans) {
    QStringList values;
    for (const velmora::CClockSpan& span : spans)
        values << QString::fromStdString(velmora::ClockSpanValue(span));
    // One span as a plain value: an offset for every date reads as it did
    // before offsets had spans.
    const QVariant value = values.empty()       ? QVariant()
                           : values.size() == 1 ? QVariant(values.front())
                                                : QVariant(values);
    return file.Write(kClocksGroup + QLatin1Char('/') + QString::fromStdString(key), value);
}
