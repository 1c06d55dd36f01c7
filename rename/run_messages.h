#pragma once

#include "journal.h"
#include "rename_run.h"

#include <string>
#include <string_view>
#include <vector>

// The texts a rename or an undo run gives the user: its outcome's text and
// caption, and the lines an undo lists for the files it left alone. A stop
// always says the reason first, as the system words it, then the files
// concerned and what the run left behind.
namespace velmora {

struct CRenameStop;

constexpr const char* kUndoCaption = "Undo Rename";

// Parts every message shares.
std::string ErrorText(int error);
std::string Tally(int renamed);
std::string Arrow(std::string_view from, std::string_view to);
CRenameOutcome Outcome(CRenameOutcome::Kind kind, std::string text, const char* caption,
                       bool errorIcon, int renamed);
CRenameOutcome Stopped(const std::string& reason, const std::string& files, int renamed,
                       const std::string& tally);

// Before the first step.
CRenameOutcome NoItemsToRename();
// Another run holds the folder: for a rename, or (`kind` Undo) an undo.
CRenameOutcome FolderBusy(CJournal::Kind kind);
// The folder's last rename was interrupted: it must be undone first.
CRenameOutcome InterruptedRunRefusal();
// The journal of a rename or an undo could not be written in the store.
CRenameOutcome JournalNotWritten(CJournal::Kind kind, int error, const std::string& store);
// The undo finds no rename to take back; `notes` as SkippedNotes words them.
CRenameOutcome NothingToUndo(const std::string& notes);
// The store entries of the folder that were skipped, a line each after a
// line break.
std::string SkippedNotes(const std::vector<std::string>& skipped);

// A stop during the steps.
// The stop the plan foresaw (its stop at row nRow), worded for the user.
CRenameOutcome PlannedStop(const CRenameStop& stop, const CListRows& rows, int renamed);
// The file of step `from` -> `to` is no longer the one listed.
CRenameOutcome FolderChangedStop(std::string_view from, std::string_view to, int renamed,
                                 const std::string& tally);
// The step `from` -> `to` failed with `error`; `aside`: it moved a file aside.
CRenameOutcome StepFailedStop(int error, std::string_view from, std::string_view to, bool aside,
                              int renamed, const std::string& tally);
// Taking a step back (`to` -> `from`) failed: the start of the tally that
// lists, with StrandedFileLine, where the files of the steps are now.
std::string TakeBackFailedText(int error, std::string_view to, std::string_view from);
// A file of those steps under `name`; `temporary`: a temporary name, the file
// to be `newName` (the photo's new name, `companion`: for a companion of it).
std::string StrandedFileLine(std::string_view name, bool temporary, std::string_view newName,
                             bool companion);

// The end of a run.
// A rename that carried out every step: all, some or none of `renameCount`.
CRenameOutcome RenameEnd(int renamed, unsigned renameCount);
// An undo that carried out every step, with the files it left alone.
CRenameOutcome UndoEnd(int restored, const std::vector<std::string>& leftAlone);

// Column 1 of a row whose new name `name` is held by a file of its bytes.
std::string AlreadyThereText(std::string_view name);

// Adds to a rename's outcome how many of the rows are copies of another
// file (RowDuplicate) and stayed where they are.
void TellIdenticalCopies(CRenameOutcome& outcome, const CListRows& rows);

// The line an undo adds for a folder the run created that it could not
// remove (ENOTEMPTY: it holds other files).
std::string KeptFolderLine(const std::string& folder, int error);
// The line a rename adds for a folder its files left empty that it could
// not remove (not for one that holds anything: that stays without a word),
// or, with `all`, for the folders it left empty when their journal lines
// could not be written.
std::string EmptiedFolderKeptLine(const std::string& folder, int error, bool all = false);
// The line a rename or undo adds for a file whose times it could not set:
// an errno value, or 0 when the name no longer holds the file.
std::string TimeNotSetLine(const std::string& name, int error);
// How to undo a run that did not end: told whenever one is left so.
std::string UndoHint(const std::string& folder);
// Turns the outcome into an error that says `what` could not be recorded in
// the journal, why, and `then`, what follows for the user.
void TellNotRecorded(CRenameOutcome& outcome, const std::string& what, int error,
                     const std::string& then);
// The end of a run in `folder` could not be recorded.
void TellEndNotRecorded(CRenameOutcome& outcome, int error, const std::string& folder);
// That the rename is undone could not be recorded.
void TellUndoneNotRecorded(CRenameOutcome& outcome, int error);
// The journals an undo read were damaged ("PATH: line N: why" each): said
// first, for what it restored is what their sound lines allowed.
void TellDamagedJournal(CRenameOutcome& outcome, const std::vector<std::string>& damage);

// What an undo lists: its journals' damage, and the files it left alone.
std::string UnreadableJournal(const std::string& path);
std::string JournalDamage(const std::string& path, const std::string& damage);
// Why no name the run gave a file holds it: none holds a file on its
// inode, or `name` does, but that file was born after the run or its size or
// modification time changed.
enum class IdentityFault { NoFileOnInode, BornAfterRun, StampChanged };
std::string NotFoundUnderRunNames(std::string_view before, IdentityFault why,
                                  std::string_view name);
std::string SecondNameNotRemoved(const std::string& name, std::string_view before);
std::string NameTakenStays(std::string_view name, std::string_view stays);

} // namespace velmora
