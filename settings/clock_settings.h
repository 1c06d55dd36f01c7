#pragma once

#include "devices.h"
#include "settings_file.h"

#include <QString>

#include <string>

// The stored clock offsets: group "Clocks", one key per device
// (CDeviceId::Key()), each a list of velmora::ClockSpanValue texts.

// The offsets `file` holds (none when it can't be trusted); spans that do
// not read as one are left out.
velmora::CClockOffsets ReadClockOffsets(CSettingsFile& file);

// Stores the spans of the device `key`, or removes its key when there are
// none. Empty when the change reached the file, else why not.
QString WriteClockSpans(CSettingsFile& file, const std::string& key,
                        const velmora::CClockSpans& spans);
