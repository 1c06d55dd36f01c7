#pragma once

#include "date_choice.h"
#include "extension_case.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The command line of velmora-cli, parsed into plain data.
struct CCliOptions {
    enum class Command { None, Help, Version, Info, List, Rename, Undo, History, Devices, Clocks };
    // A device's clock offset for one run: --shift "DEVICE=OFFSET".
    struct CShift {
        std::string strDevice; // as devices prints it
        std::int64_t nOffset = 0;
    };

    Command command = Command::None;
    bool json = false;
    bool skipRefused = false;                            // rename --skip-refused: rename the others
    std::optional<std::string> format;                   // --format FMT, when given
    std::optional<bool> allTypes;                        // --types all (true) or jpg (false)
    std::optional<bool> companions;                      // --companions / --no-companions
    std::optional<velmora::UndatedDates> undated;        // --undated none|names|files
    std::optional<velmora::ExtensionCase> extensionCase; // --ext keep|lower|upper
    std::vector<CShift> shifts;                          // --shift, in order
    bool recursive = false;                              // --recursive: every subfolder too
    bool createFolders = false;                          // --create-folders
    bool removeEmpty = false;                            // rename --remove-empty
    bool setFileTimes = false;                           // rename --set-file-times
    // clocks set --from DATE / --to DATE: the span's ends, ms of the date as written.
    std::optional<std::int64_t> spanFrom;
    std::optional<std::int64_t> spanTo;
    std::vector<std::string> operands; // files or folder, in order; clocks:
                                       // set DEVICE OFFSET | clear DEVICE | list
    std::string error;                 // one line for stderr when parsing failed
};

CCliOptions ParseCliOptions(int argc, const char* const* argv);

// The usage text printed for --help and, its first line, for bad usage.
extern const char* const g_cliUsage;
