#include "run_messages.h"

#include "new_name_check.h"
#include "rename_plan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace velmora {
namespace {

std::string RestoredText(int restored) {
    return restored == 1
               ? "1 file has its name from before the rename again."
               : std::to_string(restored) + " files have their names from before the rename again.";
}

} // namespace

CRenameOutcome Outcome(CRenameOutcome::Kind kind, std::string text, const char* caption,
                       bool errorIcon, int renamed) {
    CRenameOutcome outcome;
    outcome.kind = kind;
    outcome.strText = std::move(text);
    outcome.strCaption = caption;
    outcome.bErrorIcon = errorIcon;
    outcome.nRenamed = renamed;
    return outcome;
}

constexpr std::size_t kMaxErrorText = 127;

std::string ErrorText(int error) {
    std::string text = std::strerror(error);
    if (text.size() > kMaxErrorText)
        text.resize(kMaxErrorText);
    return text;
}

std::string Tally(int renamed) {
    if (renamed == 0)
        return "No file was renamed; none is left under a temporary name.";
    if (renamed == 1)
        return "1 file was renamed; none is left under a temporary name.";
    return std::to_string(renamed) + " files were renamed; none is left under a temporary name.";
}

// Every stop ends here.
CRenameOutcome Stopped(const std::string& reason, const std::string& files, int renamed,
                       const std::string& tally) {
    std::string text = reason;
    if (!files.empty())
        text += '\n' + files;
    text += '\n' + tally;
    return Outcome(CRenameOutcome::ErrorRename, std::move(text), "Error Rename", true, renamed);
}

std::string Arrow(std::string_view from, std::string_view to) {
    std::string text(from);
    return text.append(" -> ").append(to);
}

CRenameOutcome NoItemsToRename() {
    return Outcome(CRenameOutcome::NoItems, "There are no items to be renamed!", "Error", false, 0);
}

CRenameOutcome FolderBusy(CJournal::Kind kind) {
    return Outcome(CRenameOutcome::Busy,
                   "Another rename is running in this folder; nothing was renamed.",
                   kind == CJournal::Undo ? kUndoCaption : "Error Rename", true, 0);
}

CRenameOutcome InterruptedRunRefusal() {
    return Outcome(CRenameOutcome::Interrupted,
                   "The last rename in this folder was interrupted. Undo it first: that gives "
                   "every file back the name it had before.",
                   "Error Rename", true, 0);
}

CRenameOutcome JournalNotWritten(CJournal::Kind kind, int error, const std::string& store) {
    const char* what = kind == CJournal::Undo ? "The journal of the undo could not be written: "
                                              : "The journal of the run could not be written: ";
    return Stopped(what + ErrorText(error), store, 0, Tally(0));
}

CRenameOutcome NothingToUndo(const std::string& notes) {
    return Outcome(CRenameOutcome::NoItems, "There is no rename to undo in this folder." + notes,
                   kUndoCaption, false, 0);
}

std::string SkippedNotes(const std::vector<std::string>& skipped) {
    std::string notes;
    for (const std::string& entry : skipped)
        notes += '\n' + entry;
    return notes;
}

CRenameOutcome PlannedStop(const CRenameStop& stop, const CListRows& rows, int renamed) {
    const CListRow& row = rows[stop.nRow];
    // A companion's step names the companion: its photo may have been free to go.
    const std::string files =
        stop.nCompanion < 0
            ? Arrow(row.Text(0), row.Text(1))
            : Arrow(row.Companion(static_cast<std::size_t>(stop.nCompanion)), stop.strTo);
    switch (stop.kind) {
    case CRenameStop::Refused:
        return Stopped(NameFaultText(stop.nFault), files, renamed, Tally(renamed));
    case CRenameStop::Taken:
        return Stopped(ErrorText(EEXIST),
                       files + "\n" + stop.strHolder +
                           (stop.bHeldByRun ? " took that name earlier in this run"
                                            : " holds that name and is not renamed by this run"),
                       renamed, Tally(renamed));
    default:
        return Stopped(ErrorText(stop.nError), files, renamed, Tally(renamed));
    }
}

CRenameOutcome FolderChangedStop(std::string_view from, std::string_view to, int renamed,
                                 const std::string& tally) {
    return Stopped("The folder changed since it was listed",
                   Arrow(from, to) + "\n" + std::string(from) +
                       " is no longer the file that was listed; open the folder again to "
                       "see it as it is now",
                   renamed, tally);
}

CRenameOutcome StepFailedStop(int error, std::string_view from, std::string_view to, bool aside,
                              int renamed, const std::string& tally) {
    return Stopped(ErrorText(error), Arrow(from, to) + (aside ? " (moved aside)" : ""), renamed,
                   tally);
}

std::string TakeBackFailedText(int error, std::string_view to, std::string_view from) {
    return "Taking back the run's last steps failed: " + ErrorText(error) + '\n' + Arrow(to, from) +
           "\nThe files of those steps are now:";
}

std::string StrandedFileLine(std::string_view name, bool temporary, std::string_view newName,
                             bool companion) {
    std::string text = '\n' + std::string(name);
    if (temporary)
        text += " (a temporary name; this file is to be " + std::string(newName) +
                (companion ? "'s companion)" : ")");
    return text;
}

CRenameOutcome RenameEnd(int renamed, unsigned renameCount) {
    if (static_cast<unsigned>(renamed) == renameCount)
        return Outcome(CRenameOutcome::AllRenamed, "All files were re-named successfuly!",
                       "Rename Files", false, renamed);
    if (renamed != 0)
        return Outcome(CRenameOutcome::SomeRenamed, "Error: not all files were re-named !",
                       "Rename Some Files", false, renamed);
    return Outcome(CRenameOutcome::NoneRenamed, "None of the files where re-named!", "Error", true,
                   renamed);
}

CRenameOutcome UndoEnd(int restored, const std::vector<std::string>& leftAlone) {
    CRenameOutcome outcome =
        Outcome(CRenameOutcome::AllRenamed, RestoredText(restored), kUndoCaption, false, restored);
    if (!leftAlone.empty()) {
        outcome.kind = CRenameOutcome::SomeRenamed;
        outcome.strText += '\n' + std::to_string(leftAlone.size()) +
                           (leftAlone.size() == 1 ? " file was left alone, because it"
                                                  : " files were left alone, because they") +
                           " changed since the rename:";
        for (const std::string& line : leftAlone)
            outcome.strText += '\n' + line;
    }
    return outcome;
}

std::string UndoHint(const std::string& folder) {
    return "velmora-cli undo " + folder +
           " (or Ctrl+Z in the window) gives every file back the name it had before.";
}

void TellNotRecorded(CRenameOutcome& outcome, const std::string& what, int error,
                     const std::string& then) {
    outcome.kind = CRenameOutcome::ErrorRename;
    outcome.bErrorIcon = true;
    outcome.strText +=
        '\n' + what + " could not be recorded in its journal: " + ErrorText(error) + '\n' + then;
}

void TellEndNotRecorded(CRenameOutcome& outcome, int error, const std::string& folder) {
    TellNotRecorded(outcome, "The end of this run", error,
                    "Until it is undone, the folder counts as interrupted: " + UndoHint(folder));
}

void TellUndoneNotRecorded(CRenameOutcome& outcome, int error) {
    TellNotRecorded(outcome, "That the rename is undone", error,
                    "The next undo finds every file back already.");
}

void TellDamagedJournal(CRenameOutcome& outcome, const std::vector<std::string>& damage) {
    std::string text = "The journal of the last rename is damaged; what its sound lines "
                       "allowed was undone, and nothing else was touched.";
    for (const std::string& line : damage)
        text += '\n' + line;
    outcome.strText = text + '\n' + outcome.strText;
    outcome.kind = CRenameOutcome::Damaged;
    outcome.bErrorIcon = true;
}

std::string UnreadableJournal(const std::string& path) {
    return path + ": it can no longer be read";
}

std::string JournalDamage(const std::string& path, const std::string& damage) {
    return path + ": " + damage;
}

std::string NotFoundUnderRunNames(std::string_view before, IdentityFault why,
                                  std::string_view name) {
    const std::string text = std::string(before) + ": ";
    switch (why) {
    case IdentityFault::BornAfterRun:
        return text + std::string(name) +
               " is on its inode but was born after the rename (a new file)";
    case IdentityFault::StampChanged:
        return text + std::string(name) +
               " is on its inode but its size or modification time changed since the rename";
    default:
        return text +
               "no file on its inode under any name the run gave it (gone, or renamed since)";
    }
}

std::string SecondNameNotRemoved(const std::string& name, std::string_view before) {
    return name + ": a second name of " + std::string(before) + " that could not be removed";
}

std::string NameTakenStays(std::string_view name, std::string_view stays) {
    return std::string(name) + ": its name is taken by another file; it stays " +
           std::string(stays);
}

std::string AlreadyThereText(std::string_view name) {
    return "Already there: identical to " + std::string(name);
}

void TellIdenticalCopies(CRenameOutcome& outcome, const CListRows& rows) {
    const auto copies = std::count_if(
        rows.begin(), rows.end(), [](const CListRow& row) { return row.nImage == RowDuplicate; });
    if (copies == 0)
        return;
    outcome.strText +=
        '\n' + std::to_string(copies) +
        (copies == 1 ? " file is a copy of another and stays where it is; it was"
                     : " files are copies of others and stay where they are; they were") +
        " not renamed and nothing was removed.";
}

std::string KeptFolderLine(const std::string& folder, int error) {
    return "\nThe folder " + folder + " that the rename created is kept: " +
           (error == ENOTEMPTY ? std::string("it holds other files.") : ErrorText(error));
}

std::string EmptiedFolderKeptLine(const std::string& folder, int error, bool all) {
    if (all)
        return "\nThe folders the rename left empty are kept: the journal could not record them (" +
               ErrorText(error) + ").";
    return "\nThe folder " + folder + " that the rename left empty is kept: " + ErrorText(error);
}

std::string TimeNotSetLine(const std::string& name, int error) {
    return "\nThe times of " + name + " were not set: " +
           (error == 0 ? std::string("it is no longer the file renamed.") : ErrorText(error));
}

} // namespace velmora
