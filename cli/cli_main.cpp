#include "cli_main.h"

#include "cli_options.h"
#include "devices.h"
#include "folder_commands.h"
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

// `clocks set DEVICE OFFSET` and `clocks clear DEVICE`: the options parser
// has checked the words.
int RunClocksCommand(const std::vector<std::string>& words) {
    const std::string key = velmora::DeviceKeyOfText(words[1]);
    const bool set = words[0] == "set";
    const bool stored = StoredClockOffsets().count(key) != 0;
    std::optional<std::int64_t> seconds =
        set ? velmora::ParseOffsetSeconds(words[2]) : std::nullopt;
    // No offset is stored as none, as the window does; a clear removes even
    // a value that is not an offset.
    if (seconds == 0)
        seconds.reset();
    if (const std::string error = StoreClockOffset(key, seconds); !error.empty()) {
        std::cerr << "velmora-cli: " << error << '\n';
        return 2;
    }
    if (!set && !stored) {
        std::cerr << "velmora-cli: no clock offset is stored for '" << words[1] << "'\n";
        return 1;
    }
    std::cout << words[1] << ": "
              << (seconds ? "clock offset " + velmora::OffsetSecondsText(*seconds) + " stored"
                          : std::string("clock offset removed"))
              << '\n';
    return 0;
}

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
    scan.undated = options.undated.value_or(stored.undated.value_or(velmora::UndatedDates::None));
    std::vector<std::string> shifted;
    if (options.command == CCliOptions::Command::List ||
        options.command == CCliOptions::Command::Rename ||
        options.command == CCliOptions::Command::Devices) {
        // A --shift stands in for the stored offset of its device.
        scan.clocks = StoredClockOffsets();
        for (const CCliOptions::CShift& shift : options.shifts) {
            scan.clocks[velmora::DeviceKeyOfText(shift.strDevice)] = shift.nOffset;
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
                                shifted);
    case CCliOptions::Command::Devices:
        return RunDevicesCommand(options.operands.front(), scan, options.json, std::cout, shifted);
    case CCliOptions::Command::Clocks:
        return RunClocksCommand(options.operands);
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
