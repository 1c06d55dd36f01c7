#pragma once

#include "journal.h"
#include "list_rows.h"

#include <optional>
#include <string>
#include <vector>

namespace velmora {
struct CFolderKey;
}

// The rename run: every row in RowToRename is renamed inside the folder from
// column 0 to column 1, never overwriting a file. A wanted name held by the
// file of a later row still to be renamed is freed by moving that file aside
// under a temporary name. One run at a time per folder; a run that stops
// leaves no file under a temporary name.
namespace velmora {

// Told of every change on disk as it happens.
class CRenameObserver {
public:
    virtual ~CRenameObserver() = default;
    virtual void OnRenamed(const std::string& from, const std::string& to) = 0;
    virtual void OnMovedAside(const std::string& from, const std::string& temporary) = 0;
    // A step taken back when the run stopped: the file went from `from` back to `to`.
    virtual void OnUndone(const std::string& from, const std::string& to) = 0;
    // A row has all its files at their new names, `renamed` rows so far.
    // False asks the run to stop at the next point where no file is under a
    // temporary name; it then ends as a stop that keeps what it renamed.
    virtual bool OnRowDone(int renamed) {
        (void)renamed;
        return true;
    }
};

// What the window shows at the end of a run.
struct CRenameOutcome {
    enum Kind {
        NoItems,     // nothing to rename; nothing was touched
        AllRenamed,  // every counted row renamed
        SomeRenamed, // some, not all
        NoneRenamed, // the loop renamed nothing
        ErrorRename, // stopped; the text says why, at which file, and what was left
        Busy,        // another run holds the folder; nothing was touched
        Interrupted, // the folder's last run never ended: it must be undone first
        Damaged,     // an undo met a damaged journal: the text names it
    };
    Kind kind = NoItems;
    std::string strText;
    std::string strCaption;
    bool bErrorIcon = false;
    int nRenamed = 0;
};

class CJournalStore;

// Runs the rename over `rows` (columns 0 and 1, statuses, file identities) in
// `folder`. `renameCount` is the number of rows name generation counted; 0
// means there is nothing to do. Rows are updated as files are renamed or
// moved aside, and back when a stop takes steps back. The run is journaled
// in the user's journal folder before its first rename, with `clocks`, the
// clock offsets that moved the rows' dates (see ClocksInForce).
CRenameOutcome RunRename(const std::string& folder, CListRows& rows, unsigned renameCount,
                         CRenameObserver* observer = nullptr,
                         const std::vector<CJournalClock>& clocks = {});

// The same with the journals kept in `journals`; none when it is null (to
// measure what the journal costs).
CRenameOutcome RunRename(const std::string& folder, CListRows& rows, unsigned renameCount,
                         CRenameObserver* observer, const CJournalStore* journals,
                         const std::vector<CJournalClock>& clocks = {});

// What a run may do beyond renaming.
struct CRunChoices {
    bool bCreateFolders = false;      // make the folders the new names' folder parts need
    bool bRemoveEmptyFolders = false; // remove the folders the files left empty
    bool bSetFileTimes = false;       // a renamed file's modification time becomes its date
};

// The same with `choices`.
CRenameOutcome RunRename(const std::string& folder, CListRows& rows, unsigned renameCount,
                         CRenameObserver* observer, const CJournalStore* journals,
                         const std::vector<CJournalClock>& clocks, const CRunChoices& choices);

// Whether the folder's last run waits for an undo, asked under the folder's
// lock, so that a run going on now (Busy) is never taken for one cut off.
enum class LastRunState { Ended, Waiting, Busy };
LastRunState CheckLastRun(const std::string& folder, const CJournalStore& store);

// The refusal a run or a new rename meets when the folder's last run was
// interrupted; nothing when there is none. The caller holds the lock.
std::optional<CRenameOutcome> RefuseAfterInterruptedRun(const CJournalStore& store,
                                                        const CFolderKey& folder);

} // namespace velmora
