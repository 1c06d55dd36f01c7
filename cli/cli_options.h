#pragma once

#include "date_choice.h"

#include <optional>
#include <string>
#include <vector>

// The command line of velmora-cli, parsed into plain data.
struct CCliOptions {
    enum class Command { None, Help, Version, Info, List, Rename, Undo, History };

    Command command = Command::None;
    bool json = false;
    std::optional<std::string> format;            // --format FMT, when given
    std::optional<bool> allTypes;                 // --types all (true) or jpg (false)
    std::optional<bool> companions;               // --companions / --no-companions
    std::optional<velmora::UndatedDates> undated; // --undated none|names|files
    std::vector<std::string> operands;            // files or folder, in order
    std::string error;                            // one line for stderr when parsing failed
};

CCliOptions ParseCliOptions(int argc, const char* const* argv);

// The usage text printed for --help and, its first line, for bad usage.
extern const char* const g_cliUsage;
