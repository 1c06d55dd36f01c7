#pragma once

#include "date_choice.h"
#include "devices.h"
#include "extension_case.h"

#include <cstdint>
#include <optional>
#include <string>

// Why the window's settings file can't be used (naming it), empty when it
// can. The functions below then give nothing stored, and store nothing.
std::string StoredSettingsProblem();

// The format last used in the window ("Default Format" in the window's
// settings), when one is stored. The terminal front end only reads it.
std::optional<std::string> StoredFormat();

// The window's "File Types" ("all" lists every type) and "Companions"
// settings, when stored.
// With them "Dates for Undated Files" (none, names or files) and "Extension
// Case" (keep, lower or upper).
struct CStoredScanSettings {
    std::optional<bool> allTypes;
    std::optional<bool> companions;
    std::optional<velmora::UndatedDates> undated;
    std::optional<velmora::ExtensionCase> extensionCase;
};
CStoredScanSettings StoredScanSettings();

// The clock offsets of devices stored in the window's settings (group
// "Clocks", by CDeviceId::Key(), each a list of velmora::ClockSpanValue
// texts); spans that do not read as one are left out.
velmora::CClockOffsets StoredClockOffsets();

// Stores `spans` under the device key `key`, or removes the key (none).
// Empty when the settings were written, else why not.
std::string StoreClockSpans(const std::string& key, const velmora::CClockSpans& spans);
