#include "cli_options.h"

#include "date_choice.h"
#include "devices.h"

#include <string_view>

const char* const g_cliUsage =
    "usage: velmora-cli (list|rename) [--format FMT] [--ext keep|lower|upper]\n"
    "                   [--types jpg|all] [--[no-]companions] [--recursive]\n"
    "                   [--create-folders] [--remove-empty] [--set-file-times]\n"
    "                   [--skip-refused]\n"
    "                   [--undated none|names|files] [--shift DEVICE=OFFSET]... [--json]\n"
    "                   FOLDER\n"
    "       velmora-cli devices [--types jpg|all] [--[no-]companions] [--recursive]\n"
    "                   [--undated none|names|files] [--shift DEVICE=OFFSET]... [--json]\n"
    "                   FOLDER\n"
    "       velmora-cli clocks set DEVICE OFFSET [--from DATE] [--to DATE]\n"
    "                   | clocks clear DEVICE | clocks list\n"
    "       velmora-cli info [--types jpg|all] [--json] FILE...\n"
    "       velmora-cli undo [--json] FOLDER | history FOLDER\n"
    "\n"
    "  list FOLDER          show each JPEG of FOLDER with the name it would get\n"
    "  rename FOLDER        rename the JPEG files of FOLDER after their date taken;\n"
    "                       never overwrites a file\n"
    "  undo FOLDER          give the files of the last rename in FOLDER (finished\n"
    "                       or interrupted) their names from before it\n"
    "  history FOLDER       list the journaled renames of FOLDER\n"
    "  devices FOLDER       list the devices (cameras, phones) of FOLDER's files, one\n"
    "                       line each: DEVICE, FILES, FIRST and LAST date, OFFSET\n"
    "                       and the offset proposed, split by tabs (\"-\" for none),\n"
    "                       and the DATES the offset holds for\n"
    "  clocks set DEVICE OFFSET [--from DATE] [--to DATE]\n"
    "                       store DEVICE's clock offset (such as +1:05:00 or -0:03),\n"
    "                       added to the dates of its files from DATE to DATE\n"
    "                       (YYYY-MM-DD or 'YYYY-MM-DD HH:MM:SS', as the device\n"
    "                       wrote them), in every folder; without either, every\n"
    "                       date; OFFSET 0 removes the offset of that span\n"
    "  clocks clear DEVICE  remove every clock offset stored for DEVICE\n"
    "  clocks list          show every stored clock offset and its dates\n"
    "  info FILE...         show what each JPEG file holds, one LABEL<TAB>VALUE\n"
    "                       line per fact; with --json one JSON object per file\n"
    "\n"
    "  --format FMT         the file name format: strftime codes such as %Y %m %d\n"
    "                       %H %M %S, %C for a running counter, and %{make}\n"
    "                       %{model} %{device} %{lens} %{name} %{folder} %{n}\n"
    "                       %{day} (the manual page tells them); a format with\n"
    "                       another %{...} is refused (default: the format last\n"
    "                       used in the window, else Img%Y%m%d_%H%M%S_%C)\n"
    "  --ext keep|lower|upper\n"
    "                       the new names' extensions, companions' too, as the\n"
    "                       files have them, in lower or in upper case; default:\n"
    "                       the window's setting, else keep\n"
    "  --types jpg|all      list *.jpg only, or every photo and video type\n"
    "                       (JPEG, HEIC/HEIF/AVIF, raw, WebP, PNG, TIFF, MP4/MOV);\n"
    "                       info reads by content with all\n"
    "  --companions         raw files, videos and sidecars (.xmp .aae .thm .pp3\n"
    "                       .dop) of a listed photo's name follow its rename\n"
    "  --no-companions      every file on its own (the default), but for the XMP\n"
    "                       sidecar that gave a photo its date\n"
    "                       (without them: the window's settings, else jpg and\n"
    "                       no companions)\n"
    "  --recursive          the files of every subfolder too (not hidden ones, nor\n"
    "                       links, other file systems or the system folders of NAS\n"
    "                       boxes and desktops: @eaDir #recycle $RECYCLE.BIN ...);\n"
    "                       a format without a folder part renames each file in\n"
    "                       its own folder, one with places it from FOLDER\n"
    "  --create-folders     make the folders a format's folder parts name\n"
    "                       (%Y/%m/...) inside FOLDER; undo removes them again\n"
    "  --remove-empty       rename: remove the subfolders of FOLDER that the run\n"
    "                       left with no entry at all; undo makes them again\n"
    "  --set-file-times     rename: give each renamed file (companions too) the\n"
    "                       modification time of its date; undo gives the old\n"
    "                       times back\n"
    "  --undated none|names|files\n"
    "                       what dates files whose metadata holds none: nothing\n"
    "                       (none), their XMP, IPTC or a date in their name\n"
    "                       (names), or also their modification time (files);\n"
    "                       default: the window's setting, else none\n"
    "  --shift DEVICE=OFFSET\n"
    "                       take OFFSET as DEVICE's clock offset for this run, in\n"
    "                       place of the stored one; may be repeated\n"
    "  --skip-refused       rename: leave the files whose new names would be\n"
    "                       refused (two given one name, a name taken, ...) as\n"
    "                       they are and rename the others; without it such a\n"
    "                       rename renames nothing (exit status 2)\n"
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
    {"history", CCliOptions::Command::History}, {"devices", CCliOptions::Command::Devices},
    {"clocks", CCliOptions::Command::Clocks},   {"--help", CCliOptions::Command::Help},
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

// "DEVICE=OFFSET" (the last '=': offsets hold none); nullopt when either
// part is not one.
std::optional<CCliOptions::CShift> ParseShift(std::string_view value) {
    const std::size_t equals = value.rfind('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    const std::optional<std::int64_t> offset =
        velmora::ParseOffsetSeconds(value.substr(equals + 1));
    if (!offset || velmora::DeviceKeyOfText(value.substr(0, equals)).empty())
        return std::nullopt;
    return CCliOptions::CShift{std::string(value.substr(0, equals)), *offset};
}

// Why `device` can't take an offset; empty when it can. Files that name no
// device never take one, but a device that calls itself "Unknown device" can.
std::string DeviceError(std::string_view device) {
    return velmora::DeviceKeyOfText(device).empty() ? "the device can not be empty" : "";
}

// `clocks set DEVICE OFFSET [--from DATE] [--to DATE]`, `clocks clear
// DEVICE` or `clocks list`, nothing else.
std::string ClocksError(const CCliOptions& options) {
    if (options.json || options.format || options.allTypes || options.companions || options.undated)
        return "clocks takes no options but --from and --to";
    const std::vector<std::string>& words = options.operands;
    const bool set = !words.empty() && words[0] == "set";
    const bool list = !words.empty() && words[0] == "list";
    if (words.empty() || (!set && !list && words[0] != "clear"))
        return "clocks needs set DEVICE OFFSET, clear DEVICE or list";
    if ((options.spanFrom || options.spanTo) && !set)
        return "only clocks set takes --from and --to";
    if (list)
        return words.size() == 1 ? "" : "clocks list takes nothing more";
    if (words.size() != (set ? 3u : 2u))
        return set ? "clocks set needs DEVICE OFFSET" : "clocks clear needs DEVICE alone";
    if (set && !velmora::ParseOffsetSeconds(words[2]))
        return "the offset '" + words[2] + "' is not [+|-]H[:MM[:SS]] (at most 1000 hours)";
    if (options.spanFrom && options.spanTo && *options.spanFrom > *options.spanTo)
        return "--from is after --to";
    return DeviceError(words[1]);
}

// Checks what the command needs once all arguments are read.
std::string OperandError(const CCliOptions& options) {
    for (const CCliOptions::CShift& shift : options.shifts) {
        if (std::string error = DeviceError(shift.strDevice); !error.empty())
            return "--shift: " + error;
    }
    const bool scans = options.command == CCliOptions::Command::List ||
                       options.command == CCliOptions::Command::Rename ||
                       options.command == CCliOptions::Command::Devices;
    if (!options.shifts.empty() && !scans)
        return "only list, rename and devices take --shift";
    if (options.extensionCase && options.command != CCliOptions::Command::List &&
        options.command != CCliOptions::Command::Rename)
        return "only list and rename take --ext";
    if (options.skipRefused && options.command != CCliOptions::Command::Rename)
        return "only rename takes --skip-refused";
    if ((options.spanFrom || options.spanTo) && options.command != CCliOptions::Command::Clocks)
        return "only clocks set takes --from and --to";
    if (options.recursive && !scans)
        return "only list, rename and devices take --recursive";
    if (options.createFolders && options.command != CCliOptions::Command::List &&
        options.command != CCliOptions::Command::Rename)
        return "only list and rename take --create-folders";
    if (options.removeEmpty && options.command != CCliOptions::Command::Rename)
        return "only rename takes --remove-empty";
    if (options.setFileTimes && options.command != CCliOptions::Command::Rename)
        return "only rename takes --set-file-times";
    switch (options.command) {
    case CCliOptions::Command::Clocks:
        return ClocksError(options);
    case CCliOptions::Command::Devices:
        if (options.format)
            return "devices takes no --format";
        return options.operands.size() == 1 ? ""
               : options.operands.empty()   ? "missing FOLDER"
                                            : "only one FOLDER, please";
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
        // "-0:03:00" is an offset, not an option.
        const bool negative = arg.size() >= 2 && arg[0] == '-' && arg[1] >= '0' && arg[1] <= '9';
        if (optionsEnded || arg.size() < 2 || arg[0] != '-' || negative) {
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
        } else if (arg == "--ext" || arg.starts_with("--ext=")) {
            const std::optional<std::string_view> value = OptionValue(argc, argv, i, "--ext");
            options.extensionCase = value ? velmora::ExtensionCaseFromName(*value) : std::nullopt;
            if (!options.extensionCase) {
                options.error =
                    value ? "--ext takes keep, lower or upper, not '" + std::string(*value) + "'"
                          : "--ext needs a value";
                return options;
            }
        } else if (arg == "--shift" || arg.starts_with("--shift=")) {
            const std::optional<std::string_view> value = OptionValue(argc, argv, i, "--shift");
            const std::optional<CCliOptions::CShift> shift =
                value ? ParseShift(*value) : std::nullopt;
            if (!shift) {
                options.error = value ? "--shift takes DEVICE=OFFSET such as 'Canon EOS "
                                        "6D=+1:05:00', not '" +
                                            std::string(*value) + "'"
                                      : "--shift needs a value";
                return options;
            }
            options.shifts.push_back(*shift);
        } else if (arg == "--from" || arg.starts_with("--from=") || arg == "--to" ||
                   arg.starts_with("--to=")) {
            const bool from = arg.starts_with("--from");
            const std::string_view name = from ? "--from" : "--to";
            const std::optional<std::string_view> value = OptionValue(argc, argv, i, name);
            const std::optional<std::int64_t> date =
                value ? velmora::ParseSpanDate(*value, from) : std::nullopt;
            if (!date) {
                options.error = std::string(name) + " takes a date as YYYY-MM-DD or 'YYYY-MM-DD " +
                                "HH:MM:SS'" + (value ? ", not '" + std::string(*value) + "'" : "");
                return options;
            }
            (from ? options.spanFrom : options.spanTo) = date;
        } else if (arg == "--skip-refused") {
            options.skipRefused = true;
        } else if (arg == "--recursive") {
            options.recursive = true;
        } else if (arg == "--create-folders") {
            options.createFolders = true;
        } else if (arg == "--remove-empty") {
            options.removeEmpty = true;
        } else if (arg == "--set-file-times") {
            options.setFileTimes = true;
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
