#include "rename_run.h"

#include "journal.h"
#include "last_run.h"
#include "plan_runner.h"
#include "rename_plan.h"
#include "safe_rename.h"

#include <cerrno>
#include <ctime>
#include <optional>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

namespace velmora {
namespace {

// The outcome of a run whose steps were all carried out.
CRenameOutcome EndOutcome(const CRenameStop& stop, const CListRows& rows, const CPlanResult& result,
                          unsigned renameCount) {
    const int renamed = result.nRenamed;
    if (stop.kind != CRenameStop::None)
        return PlannedStop(stop, rows, renamed);
    if (static_cast<unsigned>(renamed) == renameCount)
        return Outcome(CRenameOutcome::AllRenamed, "All files were re-named successfuly!",
                       "Rename Files", false, renamed);
    if (renamed != 0)
        return Outcome(CRenameOutcome::SomeRenamed, "Error: not all files were re-named !",
                       "Rename Some Files", false, renamed);
    return Outcome(CRenameOutcome::NoneRenamed, "None of the files where re-named!", "Error", true,
                   renamed);
}

} // namespace

std::optional<CRenameOutcome> RefuseAfterInterruptedRun(const CJournalStore& store,
                                                        const CFolderKey& folder) {
    if (!FindLastRun(store, folder).bWaiting)
        return std::nullopt;
    return Outcome(CRenameOutcome::Interrupted,
                   "The last rename in this folder was interrupted. Undo it first: that gives "
                   "every file back the name it had before.",
                   "Error Rename", true, 0);
}

LastRunState CheckLastRun(const std::string& folder, const CJournalStore& store) {
    CFolderHandle dir(folder);
    if (dir.Lock() == EWOULDBLOCK)
        return LastRunState::Busy;
    const std::optional<CFolderKey> key = dir.IsOpen() ? CFolderKey::OfFd(dir.Fd()) : std::nullopt;
    return key && FindLastRun(store, *key).bWaiting ? LastRunState::Waiting : LastRunState::Ended;
}

CRenameOutcome RunRename(const std::string& folder, CListRows& rows, unsigned renameCount,
                         CRenameObserver* observer, const std::vector<CJournalClock>& clocks) {
    const CJournalStore store(DefaultJournalFolder());
    return RunRename(folder, rows, renameCount, observer, &store, clocks);
}

CRenameOutcome RunRename(const std::string& folder, CListRows& rows, unsigned renameCount,
                         CRenameObserver* observer, const CJournalStore* journals,
                         const std::vector<CJournalClock>& clocks) {
    if (renameCount == 0)
        return Outcome(CRenameOutcome::NoItems, "There are no items to be renamed!", "Error", false,
                       0);
    CFolderHandle dir(folder);
    if (!dir.IsOpen())
        return Stopped(ErrorText(dir.OpenError()), folder, 0, Tally(0));
    const int lockError = dir.Lock();
    if (lockError == EWOULDBLOCK)
        return Outcome(CRenameOutcome::Busy,
                       "Another rename is running in this folder; nothing was renamed.",
                       "Error Rename", true, 0);
    if (lockError != 0)
        return Stopped(ErrorText(lockError), folder, 0, Tally(0));
    const CFolderKey folderKey = CFolderKey::OfFd(dir.Fd()).value_or(CFolderKey{});
    if (journals != nullptr) {
        if (auto refused = RefuseAfterInterruptedRun(*journals, folderKey))
            return *refused;
    }

    const CRenamePlan plan = PlanRename(dir, rows);
    CJournal journal = RunJournal(folder, folderKey);
    journal.clocks = clocks;
    if (journals != nullptr && !plan.steps.empty()) {
        CPlanJournalLines files(rows, plan.steps);
        if (const int error = journals->Write(journal, files); error != 0)
            return Stopped("The journal of the run could not be written: " + ErrorText(error),
                           journals->Folder(), 0, Tally(0));
    }
    CPlanResult result;
    const std::optional<CRenameOutcome> failed =
        ExecutePlan(dir, rows, plan.steps, observer, result);
    CRenameOutcome outcome = failed ? *failed : EndOutcome(plan.stop, rows, result, renameCount);
    RecordEnd(journal.strPath, folder, result, outcome);
    return outcome;
}

} // namespace velmora
