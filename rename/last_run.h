#pragma once

#include "journal.h"

#include <optional>
#include <string>
#include <vector>

// Which run of a folder an undo takes back, and whether a new rename must
// wait for it. Both questions are answered from one reading of the folder's
// journals, so that a folder is never both "interrupted, undo first" and
// "nothing to undo".
namespace velmora {

class CJournalStore;

struct CLastRun {
    // The run an undo takes back (its summary): the last rename that changed
    // something and is not undone, the run an unfinished undo was undoing,
    // or an unfinished undo whose run is lost. Nothing when there is none.
    std::optional<CJournal> run;
    std::vector<CJournal> undos; // the undos that already worked on it
    bool bWaiting = false;       // that run never ended: renames wait for an undo
    // Store entries of the folder that were skipped ("PATH: why").
    std::vector<std::string> skipped;
};

CLastRun FindLastRun(const CJournalStore& store, const CFolderKey& folder);

} // namespace velmora
