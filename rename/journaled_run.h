#pragma once

#include "journal.h"
#include "list_rows.h"
#include "rename_run.h"

#include <optional>
#include <string>

// The one sequence of a journaled run, the rename's and the undo's: the
// folder opened and its run lock taken, the run refused or begun under the
// lock from what the journals say of the folder's last run, its rows
// planned, the plan journaled and synced before the first step, the steps
// carried out, and the end recorded. A run holds the lock from before it
// reads the journals until its end is recorded, so that two runs never work
// on one folder and a run going on is never taken for one cut off. What
// differs between a rename and an undo is theirs: what they refuse, the rows
// they plan, their own journal lines and the wording of their outcome.
namespace velmora {

class CFolderHandle;
class CJournalStore;
struct CLastRun;
struct CPlanResult;
struct CRenamePlan;

// Takes the run lock of the folder `folder` has open, as every run and every
// question about the folder's last run takes it: Locked; Busy when another
// run holds the lock; Failed when the folder is not open or the lock failed,
// with the errno value in `error`.
enum class FolderLock { Locked, Busy, Failed };
FolderLock LockFolder(CFolderHandle& folder, int& error);

class CJournaledRun {
public:
    explicit CJournaledRun(CJournal::Kind kind) : m_kind(kind) {}
    virtual ~CJournaledRun() = default;
    CJournaledRun(const CJournaledRun&) = delete;
    CJournaledRun& operator=(const CJournaledRun&) = delete;

    // Runs in `folder` with the journals of `journals`; with none (null) the
    // run is neither refused after an interrupted run nor journaled.
    CRenameOutcome Run(const std::string& folder, const CJournalStore* journals,
                       CRenameObserver* observer);

private:
    // Under the lock, before the plan, with the folder's last run: the
    // outcome that ends the run here, having touched nothing; else nothing,
    // and Rows() are the rows to plan.
    virtual std::optional<CRenameOutcome> Begin(const CFolderHandle& folder,
                                                const CLastRun& last) = 0;
    virtual CListRows& Rows() = 0;
    // Once no other run may work in the folder, before the plan: what the
    // plan needs on disk that the run itself brings back.
    virtual void BeforePlan(const CFolderHandle& folder) { (void)folder; }
    // What the run does beyond renaming.
    virtual CRunChoices Choices() const { return {}; }
    // The run's own lines of its journal: the clocks in force, the run an
    // undo undoes.
    virtual void StartJournal(CJournal& journal) const = 0;
    // The outcome of a plan whose steps were carried out; `failed` is that of
    // a failure on disk that stopped them.
    virtual CRenameOutcome End(const std::optional<CRenameOutcome>& failed, const CRenamePlan& plan,
                               const CPlanResult& result) = 0;
    // What the run adds to its outcome once its end is recorded.
    virtual void AfterEnd(CRenameOutcome& outcome) { (void)outcome; }

    const CJournal::Kind m_kind;
};

} // namespace velmora
