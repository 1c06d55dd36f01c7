#include "rename_run.h"

#include "journal_store.h"
#include "journaled_run.h"
#include "last_run.h"
#include "plan_runner.h"
#include "rename_plan.h"
#include "run_messages.h"
#include "safe_rename.h"

#include <optional>
#include <vector>

namespace velmora {
namespace {

// The rename's part of the journaled run: refused while the folder's last
// run waits for an undo, the rows as the list gives them, the clocks in force
// in its journal.
class CRenameRun final : public CJournaledRun {
public:
    CRenameRun(CListRows& rows, unsigned renameCount, const std::vector<CJournalClock>& clocks,
               const CRunChoices& choices)
        : CJournaledRun(CJournal::Rename), m_rows(rows), m_renameCount(renameCount),
          m_clocks(clocks), m_choices(choices) {}

private:
    std::optional<CRenameOutcome> Begin(const CFolderHandle&, const CLastRun& last) override {
        if (!last.bWaiting)
            return std::nullopt;
        return InterruptedRunRefusal();
    }

    CListRows& Rows() override { return m_rows; }
    CRunChoices Choices() const override { return m_choices; }

    void StartJournal(CJournal& journal) const override { journal.clocks = m_clocks; }

    CRenameOutcome End(const std::optional<CRenameOutcome>& failed, const CRenamePlan& plan,
                       const CPlanResult& result) override {
        for (const int row : plan.identical) {
            CListRow& copy = m_rows[static_cast<std::size_t>(row)];
            copy.SetText(1, AlreadyThereText(copy.Text(1)));
            copy.nImage = RowDuplicate;
        }
        CRenameOutcome outcome =
            failed ? *failed
            : plan.stop.kind != CRenameStop::None
                ? PlannedStop(plan.stop, m_rows, result.nRenamed)
                : RenameEnd(result.nRenamed,
                            m_renameCount - static_cast<unsigned>(plan.identical.size()));
        TellIdenticalCopies(outcome, m_rows);
        return outcome;
    }

    CListRows& m_rows;
    const unsigned m_renameCount;
    const std::vector<CJournalClock>& m_clocks;
    const CRunChoices m_choices;
};

} // namespace

std::optional<CRenameOutcome> RefuseAfterInterruptedRun(const CJournalStore& store,
                                                        const CFolderKey& folder) {
    if (!FindLastRun(store, folder).bWaiting)
        return std::nullopt;
    return InterruptedRunRefusal();
}

LastRunState CheckLastRun(const std::string& folder, const CJournalStore& store) {
    CFolderHandle dir(folder);
    int error = 0;
    if (LockFolder(dir, error) == FolderLock::Busy)
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
    return RunRename(folder, rows, renameCount, observer, journals, clocks, {});
}

CRenameOutcome RunRename(const std::string& folder, CListRows& rows, unsigned renameCount,
                         CRenameObserver* observer, const CJournalStore* journals,
                         const std::vector<CJournalClock>& clocks, const CRunChoices& choices) {
    if (renameCount == 0)
        return NoItemsToRename();
    CRenameRun run(rows, renameCount, clocks, choices);
    return run.Run(folder, journals, observer);
}

} // namespace velmora
