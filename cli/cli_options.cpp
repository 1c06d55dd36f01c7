#include "cli_options.h"

#include "date_choice.h"

#include <string_view>

const char* const g_cliUsage =
    "usage: velmora-cli (list|rename) [--format FMT] [--types jpg|all] [--[no-]companions]\n"
    "                   [--undated none|names|files] [--json] FOLDER\n"
    "       velmora-cli info [--types jpg|all] [--json] FILE...\n"
    "       velmora-cli undo [--json] FOLDER | history FOLDER\n"
    "\n"
    "  list FOLDER          show each JPEG of FOLDER with the name it would get\n"
    "  rename FOLDER        rename the JPEG files of FOLDER after their date taken;\n"
    "                       never overwrites a file\n"
    "  undo FOLDER          give the files of the last rename in FOLDER (finished\n"
    "                       or interrupted) their names from before it\n"
    "  history FOLDER       list the journaled renames of FOLDER\n"
    "  info FILE...         show what each JPEG file holds, one LABEL<TAB>VALUE\n"
    "                       line per fact; with --json one JSON object per file\n"
    "\n"
    "  --format FMT         the file name format: strftime codes such as %Y %m %d\n"
    "                       %H %M %S, and %C for a running counter\n"
    "                       (default: the format last used in the window, else\n"
    "                       Img%Y%m%d_%H%M%S_%C)\n"
    "  --types jpg|all      list *.jpg only, or every photo and video type\n"
    "                       (JPEG, HEIC/HEIF/AVIF, raw, WebP, PNG, TIFF, MP4/MOV);\n"
    "                       info reads by content with all\n"
    "  --companions         raw files, videos and sidecars (.xmp .aae .thm .pp3\n"
    "                       .dop) of a listed photo's name follow its rename\n"
    "  --no-companions      every file on its own (the default)\n"
    "                       (without them: the window's settings, else jpg and\n"
    "                       no companions)\n"
    "  --undated none|names|files\n"
    "                       what dates files whose metadata holds none: nothing\n"
    "                       (none), their XMP, IPTC or a date in their name\n"
    "                       (names), or also their modification time (files);\n"
    "                       default: the window's setting, else none\n"
    "  --json               print JSON instead of text\n"
    "  --help               show this help\n"
    "  --version            show the version\n"
    "\n"
    "The velmora-cli(1) manual page (installed with the package) tells more.\n";

namespace {

struct CommandName {
    std::string_view name;
    CCliOptions::Command command;
};

constexpr CommandName kCommands[] = {
    {"info", CCliOptions::Command::Info},       {"list", CCliOptions::Command::List},
    {"rename", CCliOptions::Command::Rename},   {"undo", CCliOptions::Command::Undo},
    {"history", CCliOptions::Command::History}, {"--help", CCliOptions::Command::Help},
    {"-h", CCliOptions::Command::Help},         {"--version", CCliOptions::Command::Version},
};

// The value of option `name` at argv[i], given as "NAME VALUE" (i moves on to
// it) or "NAME=VALUE"; nullopt when it is missing.
std::optional<std::string_view> OptionValue(int argc, const char* const* argv, int& i,
                                            std::string_view name) {
    const std::string_view arg = argv[i];
    if (arg.size() > name.size())
        return arg.substr(name.size() + 1);
    if (i + 1 >= argc)
        return std::nullopt;
    return std::string_view(argv[++i]);
}

// Checks what the command needs once all arguments are read.
std::string OperandError(const CCliOptions& options) {
    switch (options.command) {
    case CCliOptions::Command::Info:
        if (options.format)
            return "info takes no --format";
        if (options.companions)
            return "info takes no --companions";
        if (options.undated)
            return "info takes no --undated";
        return options.operands.empty() ? "info needs at least one FILE" : "";
    case CCliOptions::Command::Undo:
    case CCliOptions::Command::History:
        if (options.format || options.allTypes || options.companions || options.undated)
            return "undo and history take no --format, --types, --companions or --undated";
        [[fallthrough]];
    case CCliOptions::Command::List:
    case CCliOptions::Command::Rename:
        if (options.format && options.format->empty())
            return "the format can not be empty";
        if (options.operands.empty())
            return "missing FOLDER";
        return options.operands.size() > 1 ? "only one FOLDER, please" : "";
    default:
        return "";
    }
}

} // namespace

CCliOptions ParseCliOptions(int argc, const char* const* argv) {
    CCliOptions options;
    if (argc < 2) {
        options.error = "missing command";
        return options;
    }
    const std::string_view command = argv[1];
    for (const CommandName& entry : kCommands) {
        if (entry.name == command)
            options.command = entry.command;
    }
    if (options.command == CCliOptions::Command::None) {
        options.error = "unknown command '" + std::string(command) + "'";
        return options;
    }
    if (options.command == CCliOptions::Command::Help ||
        options.command == CCliOptions::Command::Version)
        return options;

    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.operands.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--format") {
            if (i + 1 >= argc) {
                options.error = "--format needs a value";
                return options;
            }
            options.format = argv[++i];
        } else if (arg.starts_with("--format=")) {
            options.format = std::string(arg.substr(9));
        } else if (arg == "--types" || arg.starts_with("--types=")) {
            const std::optional<std::string_view> value = OptionValue(argc, argv, i, "--types");
            if (!value || (*value != "jpg" && *value != "all")) {
                options.error = value
                                    ? "--types takes jpg or all, not '" + std::string(*value) + "'"
                                    : "--types needs a value";
                return options;
            }
            options.allTypes = *value == "all";
        } else if (arg == "--undated" || arg.starts_with("--undated=")) {
            const std::optional<std::string_view> value = OptionValue(argc, argv, i, "--undated");
            options.undated = value ? velmora::UndatedDatesFromName(*value) : std::nullopt;
            if (!options.undated) {
                options.error = value ? "--undated takes none, names or files, not '" +
                                            std::string(*value) + "'"
                                      : "--undated needs a value";
                return options;
            }
        } else if (arg == "--companions" || arg == "--no-companions") {
            options.companions = arg == "--companions";
        } else {
            options.error = "unknown option '" + std::string(arg) + "'";
            return options;
        }
    }
    options.error = OperandError(options);
    return options;
}
