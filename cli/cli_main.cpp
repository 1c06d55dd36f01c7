#include "cli_main.h"

#include "cli_options.h"
#include "clocks_command.h"
#include "devices.h"
#include "folder_commands.h"
#include "format_codes.h"
#include "info_command.h"
#include "name_generation.h"
#include "stored_format.h"
#include "velmora_version.h"

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

namespace {

int RunCommand(const CCliOptions& options) {
    // A settings file that can't be used leaves every choice at its default;
    // the clocks commands report it when they would write.
    if (options.command != CCliOptions::Command::Help &&
        options.command != CCliOptions::Command::Version &&
        options.command != CCliOptions::Command::Clocks) {
        if (const std::string problem = StoredSettingsProblem(); !problem.empty())
            std::cerr << "velmora-cli: " << problem << "; the stored settings are not used\n";
    }
    const std::string format =
        options.format.value_or(StoredFormat().value_or(velmora::kDefaultFormat));
    const CStoredScanSettings stored = StoredScanSettings();
    velmora::CScanOptions scan;
    scan.bAllTypes = options.allTypes.value_or(stored.allTypes.value_or(false));
    scan.bCompanions = options.companions.value_or(stored.companions.value_or(false));
    scan.bRecursive = options.recursive;
    scan.undated = options.undated.value_or(stored.undated.value_or(velmora::UndatedDates::None));
    scan.extensionCase =
        options.extensionCase.value_or(stored.extensionCase.value_or(velmora::ExtensionCase::Keep));
    std::vector<std::string> shifted;
    if (options.command == CCliOptions::Command::List ||
        options.command == CCliOptions::Command::Rename ||
        options.command == CCliOptions::Command::Devices) {
        // A --shift stands in for the stored offset of its device.
        scan.clocks = StoredClockOffsets();
        for (const CCliOptions::CShift& shift : options.shifts) {
            scan.clocks[velmora::DeviceKeyOfText(shift.strDevice)] = {{.nOffset = shift.nOffset}};
            shifted.push_back(shift.strDevice);
        }
    }
    if (options.command == CCliOptions::Command::List ||
        options.command == CCliOptions::Command::Rename ||
        options.command == CCliOptions::Command::Undo ||
        options.command == CCliOptions::Command::History ||
        options.command == CCliOptions::Command::Devices) {
        const std::string error = FolderError(options.operands.front());
        if (!error.empty()) {
            std::cerr << "velmora-cli: " << error << '\n';
            return 2;
        }
    }
    if (options.command == CCliOptions::Command::List ||
        options.command == CCliOptions::Command::Rename) {
        // A code the engine does not know would stay in every name as text.
        const std::string_view unknown = velmora::UnknownBraceCode(format);
        if (!unknown.empty()) {
            std::cerr << "velmora-cli: " << unknown
                      << " is not a code of the format (see velmora-cli --help)\n";
            return 2;
        }
    }
    switch (options.command) {
    case CCliOptions::Command::Help:
        std::cout << g_cliUsage;
        return 0;
    case CCliOptions::Command::Version:
        std::cout << "velmora-cli " VELMORA_VERSION_STRING "\n";
        return 0;
    case CCliOptions::Command::Info:
        return options.json ? RunInfoJson(options.operands, scan.bAllTypes, std::cout)
                            : RunInfoText(options.operands, scan.bAllTypes, std::cout, std::cerr);
    case CCliOptions::Command::List:
        return RunListCommand(options.operands.front(), format, scan, options.json, std::cout,
                              shifted);
    case CCliOptions::Command::Rename:
        return RunRenameCommand(options.operands.front(), format, scan, options.json, std::cout,
                                shifted,
                                {.bCreateFolders = options.createFolders,
                                 .bRemoveEmptyFolders = options.removeEmpty,
                                 .bSetFileTimes = options.setFileTimes},
                                options.skipRefused);
    case CCliOptions::Command::Devices:
        return RunDevicesCommand(options.operands.front(), scan, options.json, std::cout, shifted);
    case CCliOptions::Command::Clocks:
        return RunClocksCommand(options, std::cout, std::cerr);
    case CCliOptions::Command::Undo:
        return RunUndoCommand(options.operands.front(), options.json, std::cout);
    case CCliOptions::Command::History:
        return RunHistoryCommand(options.operands.front(), std::cout);
    case CCliOptions::Command::None:
        break;
    }
    return 2;
}

} // namespace

int RunCli(int argc, char** argv) {
    // Month and weekday names as the user's locale writes them, as in the
    // window; numbers (JSON) stay in the C form.
    std::setlocale(LC_TIME, "");
    // Without TZ the C library looks at /etc/localtime again for every date
    // it converts (a status call per file of a scan); naming the same file
    // once keeps the zone and drops those calls.
    if (std::getenv("TZ") == nullptr && access("/etc/localtime", R_OK) == 0)
        setenv("TZ", ":/etc/localtime", 0);
    // A rename finishes even when its output goes away (a closed pipe or
    // terminal); the failed writes are reported once, at the end.
    std::signal(SIGPIPE, SIG_IGN);
    const CCliOptions options = ParseCliOptions(argc, argv);
    if (!options.error.empty()) {
        std::cerr << "velmora-cli: " << options.error << " (see velmora-cli --help)\n";
        return 2;
    }
    const int status = RunCommand(options);
    if (!std::cout.flush()) {
        std::cerr << "velmora-cli: the output could not be written; the command ran to its end\n";
        return 2;
    }
    return status;
}
