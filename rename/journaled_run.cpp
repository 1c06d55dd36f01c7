#include "journaled_run.h"

#include "emptied_folders.h"
#include "file_times.h"
#include "journal_store.h"
#include "last_run.h"
#include "plan_runner.h"
#include "rename_plan.h"
#include "run_messages.h"
#include "run_registry.h"
#include "safe_rename.h"

#include <algorithm>
#include <cerrno>
#include <unordered_set>

namespace velmora {
namespace {

// Whether a run over `rows` reads or writes in subfolders of its folder.
bool WorksInSubfolders(const CListRows& rows) {
    return std::any_of(rows.begin(), rows.end(), [](const CListRow& row) {
        return row.Text(0).find('/') != std::string_view::npos ||
               row.Text(1).find('/') != std::string_view::npos ||
               row.Companions().find('/') != std::string_view::npos;
    });
}

// The times of the folders whose entries the plan changes, before it does:
// the photo folder (temporary names lie there), every folder a step's file
// leaves or enters that exists now, and `left`, the folders the run may
// remove and those they lie in.
std::vector<CJournal::CFolderTime> FolderTimes(const CFolderHandle& dir, const CListRows& rows,
                                               const CRenamePlan& plan,
                                               const std::vector<std::string>& left) {
    std::unordered_set<std::string> seen{""};
    std::vector<std::string> folders{""};
    const std::unordered_set<std::string> made(plan.folders.begin(), plan.folders.end());
    const auto add = [&](std::string folder) {
        if (!made.contains(folder) && seen.insert(folder).second)
            folders.push_back(std::move(folder));
    };
    const auto note = [&](std::string_view name) {
        const std::size_t slash = name.rfind('/');
        add(std::string(name.substr(0, slash == std::string_view::npos ? 0 : slash)));
    };
    for (const CRenameStep& step : plan.steps) {
        const std::string_view listed = RowFileName(rows[step.nRow], step.nCompanion);
        note(listed);
        note(NewFileName(rows[step.nRow], step.nCompanion, listed));
    }
    for (const std::string& folder : left)
        add(folder);
    std::vector<CJournal::CFolderTime> times;
    for (std::string& folder : folders) {
        timespec time{};
        if (dir.FolderTime(folder, time) == 0)
            times.push_back(
                {std::move(folder), time.tv_sec, static_cast<std::uint32_t>(time.tv_nsec)});
    }
    return times;
}

} // namespace

FolderLock LockFolder(CFolderHandle& folder, int& error) {
    if (!folder.IsOpen()) {
        error = folder.OpenError();
        return FolderLock::Failed;
    }
    error = folder.Lock();
    if (error == EWOULDBLOCK)
        return FolderLock::Busy;
    return error == 0 ? FolderLock::Locked : FolderLock::Failed;
}

CRenameOutcome CJournaledRun::Run(const std::string& folder, const CJournalStore* journals,
                                  CRenameObserver* observer) {
    CFolderHandle dir(folder);
    int lockError = 0;
    switch (LockFolder(dir, lockError)) {
    case FolderLock::Busy:
        return FolderBusy(m_kind);
    case FolderLock::Failed:
        return Stopped(ErrorText(lockError), folder, 0, Tally(0));
    case FolderLock::Locked:
        break;
    }
    const CFolderKey key = CFolderKey::OfFd(dir.Fd()).value_or(CFolderKey{});
    if (std::optional<CRenameOutcome> refused =
            Begin(dir, journals != nullptr ? FindLastRun(*journals, key) : CLastRun{}))
        return std::move(*refused);

    CListRows& rows = Rows();
    // A run that works in subfolders also keeps out the runs in any of them,
    // and the runs over a tree above.
    CRunRegistration registration;
    if (journals != nullptr && !journals->Folder().empty()) {
        int registryError = 0;
        if (registration.Register(journals->Folder() + "/runs", dir.Fd(), WorksInSubfolders(rows),
                                  registryError) == CRunRegistration::Busy)
            return FolderBusy(m_kind);
    }
    BeforePlan(dir);
    const CRunChoices choices = Choices();
    const CRenamePlan plan = PlanRename(dir, rows, choices.bCreateFolders);
    CJournal journal = RunJournal(folder, key);
    journal.kind = m_kind;
    journal.folders = plan.folders;
    // Read before the first step, which moves the files out of them.
    const std::vector<std::string> left =
        choices.bRemoveEmptyFolders ? LeftFolders(rows, plan.steps) : std::vector<std::string>();
    // Only a tree's run sets folder times back: in one folder as before.
    if (m_kind == CJournal::Rename && WorksInSubfolders(rows))
        journal.folderTimes = FolderTimes(dir, rows, plan, left);
    StartJournal(journal);
    // A rename with no step to take changes nothing and is not journaled; an
    // undo always is.
    if (journals != nullptr && (!plan.steps.empty() || m_kind == CJournal::Undo)) {
        // The times before are for the journal alone: they go once it is written.
        const std::vector<std::optional<CFileTimes>> times =
            choices.bSetFileTimes ? PlanFileTimes(dir, rows, plan.steps)
                                  : std::vector<std::optional<CFileTimes>>();
        CPlanJournalLines files(rows, plan.steps, choices.bSetFileTimes ? &times : nullptr);
        if (const int error = journals->Write(journal, files); error != 0)
            return JournalNotWritten(m_kind, error, journals->Folder());
    }
    CPlanResult result;
    // The folders are journaled: a run cut off now leaves them to its undo.
    std::optional<CRenameOutcome> failed;
    for (const std::string& made : plan.folders) {
        const int error = dir.MakeFolder(made);
        if (error != 0 && error != EEXIST) {
            failed = Stopped(ErrorText(error), made, 0, Tally(0));
            break;
        }
    }
    if (!failed)
        failed = ExecutePlan(dir, rows, plan.steps, observer, result);
    // A run that moved nothing is no run to undo: its folders go now.
    if (result.nFilesTouched == 0) {
        for (auto made = plan.folders.rbegin(); made != plan.folders.rend(); ++made)
            dir.RemoveEmptyFolder(*made);
    }
    // The files it kept are at their new names; one left aside ends nothing.
    std::string notes;
    if (result.nFilesTouched > 0 && !result.bStranded) {
        if (choices.bSetFileTimes)
            notes += SetNamedTimes(dir, rows, plan.steps, result);
        if (!left.empty())
            notes += RemoveEmptiedFolders(dir, left, journal.strPath);
    }
    CRenameOutcome outcome = End(failed, plan, result);
    outcome.strText += notes;
    RecordEnd(journal.strPath, folder, result, outcome);
    AfterEnd(outcome);
    return outcome;
}

} // namespace velmora
