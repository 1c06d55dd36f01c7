#include "last_run.h"

#include "journal_store.h"

#include <algorithm>

namespace velmora {

CLastRun FindLastRun(const CJournalStore& store, const CFolderKey& folder) {
    CLastRun result;
    std::vector<CJournal> runs = store.Runs(folder);
    for (const CJournal& journal : runs) {
        if (journal.state == CJournal::Skipped)
            result.skipped.push_back(journal.strPath + ": " + journal.strDamage);
    }
    // Runs that changed nothing are no one's last run.
    std::erase_if(runs, [](const CJournal& journal) {
        return journal.state == CJournal::Skipped || journal.state == CJournal::Unchanged;
    });
    if (runs.empty())
        return result;
    const CJournal& last = runs.back();
    const CJournal* run = &last;
    if (last.kind == CJournal::Undo) {
        const auto it = std::find_if(runs.begin(), runs.end(), [&](const CJournal& journal) {
            return journal.kind == CJournal::Rename &&
                   JournalFileName(journal.strPath) == last.strUndoes;
        });
        if (it != runs.end())
            run = &*it;
        else if (last.state != CJournal::Interrupted)
            return result; // an undo that ended, of a run no longer kept
        // else: an unfinished undo whose run is lost is itself taken back.
    }
    result.bWaiting = run->state == CJournal::Interrupted || last.state == CJournal::Interrupted;
    if (run->state == CJournal::Undone && !result.bWaiting)
        return result;
    result.run = *run;
    for (const CJournal& journal : runs) {
        if (journal.kind == CJournal::Undo && &journal != run &&
            journal.strUndoes == JournalFileName(run->strPath))
            result.undos.push_back(journal);
    }
    return result;
}

} // namespace velmora
