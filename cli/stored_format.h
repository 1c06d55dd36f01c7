#pragma once

#include "date_choice.h"

#include <optional>
#include <string>

// The format last used in the window ("Default Format" in the window's
// settings), when one is stored. The terminal front end only reads it.
std::optional<std::string> StoredFormat();

// The window's "File Types" ("all" lists every type) and "Companions"
// settings, when stored.
// With them "Dates for Undated Files" (none, names or files).
struct CStoredScanSettings {
    std::optional<bool> allTypes;
    std::optional<bool> companions;
    std::optional<velmora::UndatedDates> undated;
};
CStoredScanSettings StoredScanSettings();
