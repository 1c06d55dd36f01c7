#pragma once

#include "rename_run.h"

#include <string>
#include <vector>

// The undo: every file of a folder's last rename run (finished or cut off)
// goes back to the name it had before, found by its identity wherever the run
// left it, never overwriting, under the same folder lock and itself
// journaled. Files that changed since (gone, replaced, renamed by someone
// else, or whose old name another file took) are left alone and listed.
namespace velmora {

class CJournalStore;

struct CUndoOutcome {
    CRenameOutcome outcome; // caption "Undo Rename"; kinds as for a rename
    int nRestored = 0;
    std::vector<std::string> leftAlone; // "NAME: why", one per file
};

// What an undo of the folder's last run would do, without doing it: the
// number of files that would go back (0 when there is nothing to undo).
int CountUndoable(const std::string& folder, const CJournalStore& journals);

CUndoOutcome RunUndo(const std::string& folder, const CJournalStore& journals,
                     CRenameObserver* observer = nullptr);

} // namespace velmora
