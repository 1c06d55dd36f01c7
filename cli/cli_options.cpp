#include "cli_options.h"

#include <string_view>

const char* const g_cliUsage =
    "usage: velmora-cli info --json FILE...\n"
    "\n"
    "  info --json FILE...  read each JPEG file and print what was found\n"
    "                       in it as one JSON object per line\n"
    "  --help               show this help\n"
    "  --version            show the version\n";

CCliOptions ParseCliOptions(int argc, const char* const* argv) {
    CCliOptions options;
    if (argc < 2) {
        options.error = "missing command";
        return options;
    }
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h") {
        options.command = CCliOptions::Command::Help;
        return options;
    }
    if (command == "--version") {
        options.command = CCliOptions::Command::Version;
        return options;
    }
    if (command != "info") {
        options.error = "unknown command '" + std::string(command) + "'";
        return options;
    }
    options.command = CCliOptions::Command::Info;
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--json") {
            options.json = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            options.error = "unknown option '" + std::string(arg) + "'";
            return options;
        } else {
            options.operands.emplace_back(arg);
        }
    }
    if (!options.json)
        options.error = "info needs --json";
    else if (options.operands.empty())
        options.error = "info needs at least one FILE";
    return options;
}
