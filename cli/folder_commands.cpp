#include "folder_commands.h"

#include "companions.h"
#include "date_choice.h"
#include "folder_scan.h"
#include "journal_store.h"
#include "json_writer.h"
#include "refused_rows.h"
#include "rename_run.h"
#include "safe_rename.h"
#include "undo_run.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <iostream>
#include <ostream>
#include <sys/stat.h>

using namespace velmora;

namespace {

const char* StatusName(int status) {
    switch (status) {
    case RowToRename:
        return "to-rename";
    case RowNamed:
        return "named";
    case RowUnreadable:
        return "unreadable";
    case RowDuplicate:
        return "identical";
    default:
        return "no-date";
    }
}

bool IsDated(const CListRow& row) {
    return row.nImage == RowToRename || row.nImage == RowNamed;
}

// A moment as local "YYYY-MM-DD HH:MM:SS".
std::string LocalDateText(std::int64_t seconds) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr)
        return {};
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

// A dated row's date as written, "YYYY-MM-DD HH:MM:SS".
std::string WallDateText(std::int64_t millis) {
    return DateFieldsText(WallFields(millis));
}

// The files that follow a row, with the names they get (none for rows that
// are not dated).
std::string CompanionsJson(const CListRow& row) {
    std::string json = "[";
    for (std::size_t i = 0, count = row.CompanionCount(); i < count; ++i) {
        CJsonObject object;
        object.FileName("original", row.Companion(i));
        if (IsDated(row))
            object.FileName("converted",
                            CompanionTarget(row.Text(1), row.Companion(i), row.CompanionCase()));
        else
            object.Null("converted");
        json += (i != 0 ? "," : "") + object.Finish();
    }
    return json + ']';
}

std::string RowsJson(const CListRows& rows, const CDeviceTable& devices) {
    std::string json = "[";
    for (const CListRow& row : rows) {
        if (json.size() > 1)
            json += ',';
        CJsonObject object;
        object.FileName("original", row.Text(0));
        // The file's folder relative to the listed one: "" directly in it.
        const std::size_t slash = row.Text(0).rfind('/');
        object.FileName("path", row.Text(0).substr(0, slash == std::string_view::npos ? 0 : slash));
        if (IsDated(row))
            object.FileName("converted", row.Text(1));
        else
            object.Text("converted", row.Text(1));
        object.Text("status", StatusName(row.nImage));
        if (IsDated(row)) {
            const auto source = static_cast<DateSource>(row.nDateSource);
            object.Text("date", WallDateText(row.nData));
            object.Text("date_source", DateSourceId(source));
        } else {
            object.Null("date").Null("date_source");
        }
        if (IsDated(row) && row.nDateOffset != kNoDateOffset)
            object.Text("offset", OffsetText(row.nDateOffset));
        else
            object.Null("offset");
        if (const std::int64_t applied = AppliedClockOffset(devices, row); applied != 0)
            object.Text("offset_applied", OffsetSecondsText(applied));
        else
            object.Null("offset_applied");
        if (row.CompanionCount() != 0)
            object.Raw("companions", CompanionsJson(row));
        json += object.Finish();
    }
    return json + ']';
}

// Prints each change on disk as it happens, in text mode, a whole line at a
// time, so that an interrupted run's output tells how far it got.
class CChangePrinter : public CRenameObserver {
public:
    explicit CChangePrinter(std::ostream& out) : m_out(out) {}
    void OnRenamed(const std::string& from, const std::string& to) override {
        m_out << from << " -> " << to << std::endl;
    }
    void OnMovedAside(const std::string& from, const std::string& temporary) override {
        m_out << from << " -> " << temporary << " (moved aside)" << std::endl;
    }
    void OnUndone(const std::string& from, const std::string& to) override {
        m_out << from << " -> " << to << " (taken back)" << std::endl;
    }

private:
    std::ostream& m_out;
};

// Scans the folder; false, with the reason on standard error, when a device
// given to --shift is none of its files'.
bool ScanWithShifts(const std::string& folder, const std::string& format, const CScanOptions& scan,
                    const std::vector<std::string>& shifted, CListRows& rows, CDeviceTable& devices,
                    unsigned& renameCount) {
    bool listed = false;
    renameCount = ScanFolder(folder, format, rows, listed, nullptr, scan, nullptr, &devices);
    for (const std::string& device : shifted) {
        const std::string key = DeviceKeyOfText(device);
        if (std::none_of(devices.begin(), devices.end(),
                         [&](const CDevice& d) { return d.id.Known() && d.id.Key() == key; })) {
            std::cerr << "velmora-cli: --shift: no file of " << folder << " comes from '" << device
                      << "' (velmora-cli devices " << folder << " lists them)\n";
            return false;
        }
    }
    return true;
}

// A date as written, or nothing ("-" in text, null in JSON) for none.
std::string DeviceDateText(std::int64_t millis) {
    return millis == INT64_MAX || millis == INT64_MIN ? std::string() : WallDateText(millis);
}

int ExitStatus(CRenameOutcome::Kind kind) {
    switch (kind) {
    case CRenameOutcome::NoItems:
    case CRenameOutcome::AllRenamed:
        return 0;
    case CRenameOutcome::SomeRenamed:
    case CRenameOutcome::NoneRenamed:
        return 1;
    case CRenameOutcome::ErrorRename:
    case CRenameOutcome::Busy:
    case CRenameOutcome::Interrupted:
    case CRenameOutcome::Damaged:
        break;
    }
    return 2;
}

} // namespace

std::string FolderError(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return "cannot read folder '" + folder + "': " + std::strerror(errno);
    closedir(dir);
    return {};
}

int RunListCommand(const std::string& folder, const std::string& format, const CScanOptions& scan,
                   bool json, std::ostream& out, const std::vector<std::string>& shifted) {
    CListRows rows;
    CDeviceTable devices;
    unsigned renameCount = 0;
    if (!ScanWithShifts(folder, format, scan, shifted, rows, devices, renameCount))
        return 2;
    if (json) {
        CJsonObject object;
        object.Text("folder", folder).Text("format", format);
        object.Integer("rename_count", renameCount).Raw("rows", RowsJson(rows, devices));
        out << object.Finish() << '\n';
        return 0;
    }
    for (const CListRow& row : rows) {
        out << StatusName(row.nImage) << '\t' << row.Text(0) << '\t' << row.Text(1) << '\n';
        // The files that follow it, each on a line of its own.
        for (std::size_t i = 0, count = row.CompanionCount(); i < count; ++i) {
            out << "+companion\t" << row.Companion(i) << '\t'
                << (IsDated(row)
                        ? CompanionTarget(row.Text(1), row.Companion(i), row.CompanionCase())
                        : "")
                << '\n';
        }
    }
    out << rows.size() << " files in the list, " << renameCount << " to rename";
    if (const auto copies = std::count_if(rows.begin(), rows.end(), [](const CListRow& row) {
            return row.nImage == RowDuplicate;
        }))
        out << ", " << copies << (copies == 1 ? " identical copy" : " identical copies");
    out << '\n';
    return 0;
}

int RunRenameCommand(const std::string& folder, const std::string& format, const CScanOptions& scan,
                     bool json, std::ostream& out, const std::vector<std::string>& shifted,
                     const CRunChoices& choices, bool skipRefused) {
    CListRows rows;
    CDeviceTable devices;
    unsigned renameCount = 0;
    if (!ScanWithShifts(folder, format, scan, shifted, rows, devices, renameCount))
        return 2;
    std::vector<CRenameStop> refused;
    if (const CFolderHandle handle(folder); handle.IsOpen())
        refused = FindRefusedRows(handle, rows, choices.bCreateFolders);
    if (!refused.empty() && !skipRefused) {
        out.flush();
        std::cerr << "velmora-cli: " << RefusedCountText(refused.size(), renameCount, refused)
                  << "; nothing was renamed (--skip-refused renames the others):"
                  << RefusedRowLines(refused, rows) << '\n';
        return 2;
    }
    CChangePrinter printer(out);
    // The run itself checks, under the folder's lock, that no run is going
    // on or was cut off.
    const CJournalStore store(DefaultJournalFolder());
    const CRenameOutcome outcome =
        refused.empty() ? RunRename(folder, rows, renameCount, json ? nullptr : &printer, &store,
                                    ClocksInForce(devices), choices)
                        : RunRenameLeavingRefused(folder, rows, refused, json ? nullptr : &printer,
                                                  &store, ClocksInForce(devices), choices);
    if (outcome.kind == CRenameOutcome::Interrupted) {
        out.flush();
        std::cerr << "velmora-cli: the last rename in " << folder
                  << " was interrupted; velmora-cli undo " << folder << " restores the names\n";
        return 2;
    }
    if (json) {
        CJsonObject object;
        object.Text("message", outcome.strText).Text("caption", outcome.strCaption);
        object.Integer("renamed", outcome.nRenamed).Raw("rows", RowsJson(rows, devices));
        out << object.Finish() << '\n';
    } else {
        out << outcome.strText << '\n';
    }
    return ExitStatus(outcome.kind);
}

int RunDevicesCommand(const std::string& folder, const CScanOptions& scan, bool json,
                      std::ostream& out, const std::vector<std::string>& shifted) {
    CListRows rows;
    CDeviceTable devices;
    unsigned renameCount = 0;
    // Names are not shown; the plainest format spares their making.
    if (!ScanWithShifts(folder, "%C", scan, shifted, rows, devices, renameCount))
        return 2;
    const COffsetProposals proposals(devices, ReferenceDevice(devices));
    // The known devices as first met, then the files of none.
    std::vector<std::size_t> order;
    for (std::size_t i = 1; i <= devices.size(); ++i) {
        if (devices[i % devices.size()].nFiles != 0)
            order.push_back(i % devices.size());
    }
    std::string array = "[";
    for (const std::size_t i : order) {
        const CDevice& device = devices[i];
        const std::optional<std::int64_t> proposal = proposals.For(i);
        // The dates the offset in force holds for.
        const std::string span = device.span ? SpanText(*device.span) : std::string();
        const std::string first = DeviceDateText(device.nFirst);
        const std::string last = DeviceDateText(device.nLast);
        if (!json) {
            out << device.id.Text() << '\t' << device.nFiles << '\t'
                << (first.empty() ? "-" : first) << '\t' << (last.empty() ? "-" : last) << '\t'
                << OffsetSecondsText(device.nOffset) << '\t'
                << (proposal ? OffsetSecondsText(*proposal) : "-") << '\t'
                << (span.empty() ? "-" : span) << '\n';
            continue;
        }
        CJsonObject object;
        object.Text("device", device.id.Text()).Integer("files", device.nFiles);
        first.empty() ? object.Null("first") : object.Text("first", first);
        last.empty() ? object.Null("last") : object.Text("last", last);
        object.Text("offset", OffsetSecondsText(device.nOffset));
        proposal ? object.Text("proposal", OffsetSecondsText(*proposal)) : object.Null("proposal");
        span.empty() ? object.Null("offset_holds_for") : object.Text("offset_holds_for", span);
        array += (array.size() > 1 ? "," : "") + object.Finish();
    }
    if (json)
        out << CJsonObject().Raw("devices", array + ']').Finish() << '\n';
    return 0;
}

int RunUndoCommand(const std::string& folder, bool json, std::ostream& out) {
    CChangePrinter printer(out);
    const CUndoOutcome undo =
        RunUndo(folder, CJournalStore(DefaultJournalFolder()), json ? nullptr : &printer);
    if (json) {
        std::string leftAlone = "[";
        for (const std::string& line : undo.leftAlone)
            leftAlone += (leftAlone.size() > 1 ? "," : "") + JsonString(line);
        CJsonObject object;
        object.Text("message", undo.outcome.strText).Text("caption", undo.outcome.strCaption);
        object.Integer("restored", undo.nRestored).Raw("left_alone", leftAlone + ']');
        out << object.Finish() << '\n';
    } else {
        out << undo.outcome.strText << '\n';
    }
    return ExitStatus(undo.outcome.kind);
}

// How the history names a run's state.
static const char* StateText(const CJournal& run) {
    switch (run.state) {
    case CJournal::Interrupted:
        return "interrupted";
    case CJournal::Unchanged:
        return "renamed nothing";
    case CJournal::Undone:
        return run.kind == CJournal::Undo ? "finished by a later undo" : "undone";
    case CJournal::Skipped:
        return "skipped";
    default:
        return "complete";
    }
}

int RunHistoryCommand(const std::string& folder, std::ostream& out) {
    const std::optional<CFolderKey> key = CFolderKey::OfPath(folder);
    if (!key)
        return 2;
    const std::vector<CJournal> runs = CJournalStore(DefaultJournalFolder()).Runs(*key);
    bool damaged = false;
    for (const CJournal& run : runs) {
        if (run.state == CJournal::Skipped) {
            out << run.strPath << ": " << run.strDamage << '\n';
            continue;
        }
        out << LocalDateText(run.nTime) << '\t' << (run.kind == CJournal::Undo ? "undo" : "rename")
            << '\t' << run.nFiles << (run.nFiles == 1 ? " file" : " files") << '\t'
            << StateText(run);
        if (!run.folders.empty())
            out << '\t' << run.folders.size()
                << (run.folders.size() == 1 ? " folder created" : " folders created");
        for (std::size_t i = 0; i < run.clocks.size(); ++i) {
            out << (i == 0 ? "\tclocks: " : ", ") << run.clocks[i].strDevice << ' '
                << OffsetSecondsText(run.clocks[i].nOffset);
        }
        if (!run.strDamage.empty()) {
            out << "\tdamaged: " << run.strPath << ": " << run.strDamage;
            damaged = true;
        }
        out << '\n';
    }
    if (runs.empty())
        out << "No rename of this folder is journaled.\n";
    return damaged ? 1 : 0;
}
