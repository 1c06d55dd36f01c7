#include "undo_run.h"

#include "journal.h"
#include "plan_runner.h"
#include "rename_plan.h"
#include "safe_rename.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {
namespace {

constexpr const char* kCaption = "Undo Rename";

// The run to undo, and the undo runs that already worked on it (their
// temporary names are places its files may be).
struct CUndoTarget {
    CJournal run;
    std::vector<CJournal> undos;
};

// The folder's last rename run, reached through its newest journal: a rename
// not yet undone, or the run an unfinished undo was undoing.
std::optional<CUndoTarget> FindTarget(const std::vector<CJournal>& runs) {
    if (runs.empty())
        return std::nullopt;
    const CJournal& last = runs.back();
    const CJournal* run = &last;
    if (last.kind == CJournal::Undo) {
        const auto it = std::find_if(runs.begin(), runs.end(), [&](const CJournal& j) {
            return j.kind == CJournal::Rename && JournalFileName(j.strPath) == last.strUndoes;
        });
        run = it != runs.end() ? &*it : nullptr;
    }
    if (run == nullptr || run->state == CJournal::Undone)
        return std::nullopt;
    // The history holds the runs' first and last lines; their files now.
    std::optional<CJournal> whole = ReadJournal(run->strPath);
    if (!whole)
        return std::nullopt;
    CUndoTarget target{std::move(*whole), {}};
    for (const CJournal& journal : runs) {
        if (journal.kind == CJournal::Undo && journal.strUndoes == JournalFileName(run->strPath)) {
            if (std::optional<CJournal> undo = ReadJournal(journal.strPath))
                target.undos.push_back(std::move(*undo));
        }
    }
    return target;
}

// The rows of an undo: each file found where the run (or an undo of it) left
// it, to go back to its name before; the files that can't are listed.
class CUndoRows {
public:
    CUndoRows(const CFolderHandle& folder, const CUndoTarget& target, bool repair)
        : m_folder(folder) {
        std::map<std::pair<std::uint64_t, std::uint64_t>, int> names; // per file
        for (const CJournalFile& file : target.run.files)
            ++names[{file.nDevice, file.nInode}];
        for (const CJournalFile& file : target.run.files)
            Locate(file, target.undos, names[{file.nDevice, file.nInode}] == 1, repair);
        LeaveBlockedAlone();
    }

    // True when a file left alone is under a temporary name: the run then
    // still waits for an undo that can bring it back.
    bool LeftUnderTemporaryName() const { return m_leftTemporary; }

    CListRows& Rows() { return m_rows; }
    std::vector<std::string>& LeftAlone() { return m_leftAlone; }

private:
    // `single`: the run renamed no other name of this file. `repair`: extra
    // names left by a cut-off link-then-unlink go.
    void Locate(const CJournalFile& file, const std::vector<CJournal>& undos, bool single,
                bool repair) {
        std::vector<std::string> names = {file.strAfter, file.strTemporary, file.strBefore};
        for (const CJournal& undo : undos) {
            for (const CJournalFile& step : undo.files) {
                if (step.nDevice == file.nDevice && step.nInode == file.nInode)
                    names.insert(names.end(), {step.strBefore, step.strTemporary, step.strAfter});
            }
        }
        const CFileId id = CFileId::FromStat(file.nDevice, file.nInode);
        std::vector<std::string> found;
        for (const std::string& name : names) {
            if (!name.empty() && std::find(found.begin(), found.end(), name) == found.end() &&
                m_folder.Identify(name) == id)
                found.push_back(name);
        }
        if (found.empty()) {
            m_leftAlone.push_back(file.strBefore +
                                  ": not found under any name the run gave it (gone, or "
                                  "renamed since)");
            return;
        }
        // A run cut off between link and unlink left the file under two
        // names: the name before is kept if it is one of them. A file the
        // run renamed under several names of its own (hard links) is where
        // its step took it, and keeps all its names.
        const bool home =
            single && std::find(found.begin(), found.end(), file.strBefore) != found.end();
        const std::string kept = home ? file.strBefore : found.front();
        if (repair && single) {
            for (const std::string& extra : found) {
                if (extra != kept && m_folder.Identify(extra) == id)
                    Unlink(extra);
            }
        }
        if (kept == file.strBefore)
            return;
        CListRow row;
        row.SetText(0, kept);
        row.SetText(1, file.strBefore);
        row.nImage = RowToRename;
        row.SetId(id);
        m_rows.push_back(std::move(row));
    }

    void Unlink(const std::string& name) const {
        const std::size_t slash = name.rfind('/');
        const std::string parent = slash == std::string::npos ? "." : name.substr(0, slash);
        const int dir =
            openat(m_folder.Fd(), parent.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir >= 0) {
            unlinkat(dir, name.c_str() + (slash == std::string::npos ? 0 : slash + 1), 0);
            close(dir);
        }
    }

    // A file whose name before is held by a file that does not go back (a
    // stranger, or a file left alone) stays where it is.
    void LeaveBlockedAlone() {
        std::map<std::pair<std::uint32_t, std::uint64_t>, std::size_t> moving;
        for (std::size_t i = 0; i < m_rows.size(); ++i)
            moving.emplace(std::make_pair(m_rows[i].nDevice, m_rows[i].nInode), i);
        std::vector<bool> blocked(m_rows.size());
        for (bool changed = true; changed;) {
            changed = false;
            for (std::size_t i = 0; i < m_rows.size(); ++i) {
                if (blocked[i])
                    continue;
                const std::optional<CFileId> holder =
                    m_folder.Identify(std::string(m_rows[i].Text(1)));
                if (holder && !moving.count({holder->nDevice, holder->nInode})) {
                    blocked[i] = changed = true;
                    moving.erase({m_rows[i].nDevice, m_rows[i].nInode});
                    m_leftTemporary |= IsTemporaryName(std::string(m_rows[i].Text(0)));
                    m_leftAlone.push_back(std::string(m_rows[i].Text(1)) +
                                          ": its name is taken by another file; it stays " +
                                          std::string(m_rows[i].Text(0)));
                }
            }
        }
        CListRows rows;
        for (std::size_t i = 0; i < m_rows.size(); ++i) {
            if (!blocked[i])
                rows.push_back(std::move(m_rows[i]));
        }
        m_rows = std::move(rows);
    }

    const CFolderHandle& m_folder;
    CListRows m_rows;
    std::vector<std::string> m_leftAlone;
    bool m_leftTemporary = false;
};

CUndoOutcome Finish(CRenameOutcome outcome, int restored, std::vector<std::string> leftAlone) {
    CUndoOutcome undo;
    undo.outcome = std::move(outcome);
    undo.nRestored = restored;
    undo.leftAlone = std::move(leftAlone);
    return undo;
}

std::string RestoredText(int restored) {
    return restored == 1
               ? "1 file has its name from before the rename again."
               : std::to_string(restored) + " files have their names from before the rename again.";
}

} // namespace

int CountUndoable(const std::string& folder, const CJournalStore& journals) {
    const CFolderHandle dir(folder);
    const std::optional<CFolderKey> key = dir.IsOpen() ? CFolderKey::OfFd(dir.Fd()) : std::nullopt;
    if (!key)
        return 0;
    const std::optional<CUndoTarget> target = FindTarget(journals.Runs(*key));
    return target ? static_cast<int>(CUndoRows(dir, *target, false).Rows().size()) : 0;
}

CUndoOutcome RunUndo(const std::string& folder, const CJournalStore& journals,
                     CRenameObserver* observer) {
    CFolderHandle dir(folder);
    if (!dir.IsOpen())
        return Finish(Stopped(ErrorText(dir.OpenError()), folder, 0, Tally(0)), 0, {});
    const int lockError = dir.Lock();
    if (lockError == EWOULDBLOCK)
        return Finish(Outcome(CRenameOutcome::Busy,
                              "Another rename is running in this folder; nothing was renamed.",
                              kCaption, true, 0),
                      0, {});
    const CFolderKey key = CFolderKey::OfFd(dir.Fd()).value_or(CFolderKey{});
    const std::optional<CUndoTarget> target = FindTarget(journals.Runs(key));
    if (!target)
        return Finish(Outcome(CRenameOutcome::NoItems, "There is no rename to undo in this folder.",
                              kCaption, false, 0),
                      0, {});

    CUndoRows undo(dir, *target, true);
    CListRows& rows = undo.Rows();
    const CRenamePlan plan = PlanRename(dir, rows);
    CJournal journal = PlanJournal(folder, key, rows, plan.steps);
    journal.kind = CJournal::Undo;
    journal.strUndoes = JournalFileName(target->run.strPath);
    if (const int error = journals.Write(journal); error != 0)
        return Finish(Stopped("The journal of the undo could not be written: " + ErrorText(error),
                              journals.Folder(), 0, Tally(0)),
                      0, std::move(undo.LeftAlone()));
    int restored = 0;
    bool stranded = false;
    const std::optional<CRenameOutcome> failed =
        ExecutePlan(dir, rows, plan.steps, observer, restored, stranded);
    if (!stranded)
        CJournalStore::Append(journal.strPath, "done " + std::to_string(restored));
    if (failed) {
        CRenameOutcome outcome = *failed;
        outcome.strCaption = kCaption;
        return Finish(std::move(outcome), restored, std::move(undo.LeftAlone()));
    }
    if (plan.stop.kind != CRenameStop::None) {
        const CListRow& row = rows[plan.stop.nRow];
        return Finish(
            Stopped(ErrorText(plan.stop.kind == CRenameStop::Error ? plan.stop.nError : EEXIST),
                    Arrow(row.Text(0), row.Text(1)), restored, Tally(restored)),
            restored, std::move(undo.LeftAlone()));
    }
    // A file that had to stay under a temporary name keeps the run waiting:
    // once its old name is free, the next undo brings it back.
    if (!undo.LeftUnderTemporaryName())
        CJournalStore::Append(target->run.strPath, "undone");
    std::vector<std::string>& leftAlone = undo.LeftAlone();
    if (leftAlone.empty())
        return Finish(
            Outcome(CRenameOutcome::AllRenamed, RestoredText(restored), kCaption, false, restored),
            restored, {});
    std::string text = RestoredText(restored) + '\n' + std::to_string(leftAlone.size()) +
                       (leftAlone.size() == 1 ? " file was" : " files were") +
                       " left alone, because it changed since the rename:";
    for (const std::string& line : leftAlone)
        text += '\n' + line;
    return Finish(Outcome(CRenameOutcome::SomeRenamed, std::move(text), kCaption, false, restored),
                  restored, std::move(leftAlone));
}

} // namespace velmora
