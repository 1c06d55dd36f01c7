#include "undo_run.h"

#include "journal.h"
#include "last_run.h"
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

// The run to undo, read whole, and the undo runs that already worked on it
// (their temporary names are places its files may be); the damage found in
// any of them, "PATH: line N: why".
struct CUndoTarget {
    CJournal run;
    std::vector<CJournal> undos;
    std::vector<std::string> damage;
};

std::optional<CUndoTarget> ReadTarget(const CLastRun& last) {
    if (!last.run)
        return std::nullopt;
    CUndoTarget target;
    const auto read = [&target](const CJournal& summary) {
        std::optional<CJournal> whole = ReadJournal(summary.strPath);
        if (!whole) {
            target.damage.push_back(summary.strPath + ": it can no longer be read");
            whole = summary;
        } else if (!whole->strDamage.empty()) {
            target.damage.push_back(whole->strPath + ": " + whole->strDamage);
        }
        return std::move(*whole);
    };
    target.run = read(*last.run);
    for (const CJournal& undo : last.undos)
        target.undos.push_back(read(undo));
    return target;
}

// The rows of an undo: each file found, by its recorded identity, where the
// run (or an undo of it) left it, to go back to its name before; the files
// that can't are listed.
class CUndoRows {
public:
    CUndoRows(const CFolderHandle& folder, const CUndoTarget& target, bool repair)
        : m_folder(folder), m_runTime(static_cast<std::int64_t>(target.run.nTime)) {
        // A file renamed under several of its names (hard links) is restored
        // as one: all its names at once.
        const std::vector<CJournalFile>& files = target.run.files;
        const std::size_t touched = std::min(target.run.nTouched, files.size());
        CEntriesByFile groups;
        std::vector<const CFileEntries*> order;
        for (std::size_t i = 0; i < touched; ++i) {
            CFileEntries& group = groups[{files[i].nDevice, files[i].nInode}];
            if (group.empty())
                order.push_back(&group);
            group.push_back(&files[i]);
        }
        // The steps of the undos that already worked on the run, per file.
        CEntriesByFile undoSteps;
        for (const CJournal& undo : target.undos) {
            for (const CJournalFile& step : undo.files)
                undoSteps[{step.nDevice, step.nInode}].push_back(&step);
        }
        static const CFileEntries kNone;
        for (const CFileEntries* group : order) {
            const auto steps = undoSteps.find({group->front()->nDevice, group->front()->nInode});
            Restore(*group, steps != undoSteps.end() ? steps->second : kNone, repair);
        }
        LeaveBlockedAlone();
    }

    // True when a file left alone is under a temporary name: the run then
    // still waits for an undo that can bring it back.
    bool LeftUnderTemporaryName() const { return m_leftTemporary; }

    CListRows& Rows() { return m_rows; }
    std::vector<std::string>& LeftAlone() { return m_leftAlone; }

private:
    using CFileEntries = std::vector<const CJournalFile*>;
    // Journal entries by file (device, inode).
    using CEntriesByFile = std::map<std::pair<std::uint64_t, std::uint64_t>, CFileEntries>;

    // One file with the names the run took from it: the names it has now
    // among those the run and its undos gave it are paired with the names it
    // must get back, its own entry's names first. `repair`: names left over
    // by a cut-off link-then-unlink go.
    void Restore(const CFileEntries& group, const CFileEntries& undoSteps, bool repair) {
        const CJournalFile& file = *group.front();
        std::vector<std::string> names;
        const auto add = [&names](const std::string& name) {
            if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(name);
        };
        for (const CJournalFile* entry : group) {
            add(entry->strAfter);
            add(entry->strTemporary);
        }
        for (const CJournalFile* step : undoSteps) {
            add(step->strBefore);
            add(step->strTemporary);
            add(step->strAfter);
        }
        for (const CJournalFile* entry : group)
            add(entry->strBefore);
        std::vector<std::string> held; // the names it has now
        for (const std::string& name : names) {
            if (IsFile(name, file))
                held.push_back(name);
        }
        const auto holds = [&held](const std::string& name) {
            return std::find(held.begin(), held.end(), name) != held.end();
        };
        std::vector<std::string> extras; // names it has that it had not before
        for (const std::string& name : held) {
            if (std::none_of(group.begin(), group.end(),
                             [&](const auto* entry) { return entry->strBefore == name; }))
                extras.push_back(name);
        }
        CFileEntries missing;
        for (const CJournalFile* entry : group) {
            if (!holds(entry->strBefore))
                missing.push_back(entry);
        }
        for (const CJournalFile* entry : missing) {
            auto from = std::find(extras.begin(), extras.end(), entry->strAfter);
            if (from == extras.end())
                from = std::find(extras.begin(), extras.end(), entry->strTemporary);
            if (from == extras.end())
                from = extras.begin();
            if (from == extras.end()) {
                m_leftAlone.push_back(entry->strBefore +
                                      ": not found under any name the run gave it (gone, "
                                      "replaced, or renamed since)");
                continue;
            }
            CListRow row;
            row.SetText(0, *from);
            row.SetText(1, entry->strBefore);
            row.nImage = RowToRename;
            row.SetId(CFileId::FromStat(file.nDevice, file.nInode));
            m_rows.push_back(std::move(row));
            extras.erase(from);
        }
        if (!repair)
            return;
        for (const std::string& extra : extras) {
            if (!Unlink(extra) && IsTemporaryName(extra)) {
                m_leftTemporary = true;
                m_leftAlone.push_back(extra + ": a second name of " + file.strBefore +
                                      " that could not be removed");
            }
        }
    }

    // True when `name` holds the journal's file: same inode and the same
    // stamp where the journal recorded one, else not born after the run
    // began, so that a new file on a reused inode is not taken for it.
    bool IsFile(const std::string& name, const CJournalFile& file) const {
        const auto stamped = m_folder.IdentifyStamped(name);
        if (!stamped || stamped->first != CFileId::FromStat(file.nDevice, file.nInode))
            return false;
        if (file.stamp.Known())
            return stamped->second == file.stamp;
        return m_runTime == 0 || stamped->second.cKind != 'b' ||
               stamped->second.nSeconds <= m_runTime;
    }

    bool Unlink(const std::string& name) const {
        const std::size_t slash = name.rfind('/');
        const std::string parent = slash == std::string::npos ? "." : name.substr(0, slash);
        const int dir =
            openat(m_folder.Fd(), parent.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir < 0)
            return false;
        const bool removed =
            unlinkat(dir, name.c_str() + (slash == std::string::npos ? 0 : slash + 1), 0) == 0;
        close(dir);
        return removed;
    }

    // A file whose name before is held by a file that does not go back (a
    // stranger, or a file left alone) stays where it is.
    void LeaveBlockedAlone() {
        std::map<std::pair<std::uint32_t, std::uint64_t>, int> moving; // rows per file
        for (const CListRow& row : m_rows)
            ++moving[{row.nDevice, row.nInode}];
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
                    if (--moving[{m_rows[i].nDevice, m_rows[i].nInode}] == 0)
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
    const std::int64_t m_runTime; // when the run began (seconds since 1970)
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

// Marks the run undone, and the undos of it cut off before as finished. When
// that can't be recorded the outcome says so.
void CloseRun(const CUndoTarget& target, CRenameOutcome& outcome) {
    int error = CJournalStore::Append(target.run.strPath, "undone");
    for (const CJournal& undo : target.undos) {
        if (error == 0 && undo.state == CJournal::Interrupted)
            error = CJournalStore::Append(undo.strPath, "undone");
    }
    if (error != 0)
        TellNotRecorded(outcome, "That the rename is undone", error,
                        "The next undo finds every file back already.");
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
    const std::optional<CUndoTarget> target = ReadTarget(FindLastRun(journals, *key));
    if (!target)
        return 0;
    // A damaged journal is worth an undo even with nothing to move: the undo
    // says what is wrong and closes it.
    const int rows = static_cast<int>(CUndoRows(dir, *target, false).Rows().size());
    return rows == 0 && !target->damage.empty() ? 1 : rows;
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
    const CLastRun last = FindLastRun(journals, key);
    std::string notes;
    for (const std::string& skipped : last.skipped)
        notes += '\n' + skipped;
    const std::optional<CUndoTarget> target = ReadTarget(last);
    if (!target)
        return Finish(Outcome(CRenameOutcome::NoItems,
                              "There is no rename to undo in this folder." + notes, kCaption, false,
                              0),
                      0, {});

    CUndoRows undo(dir, *target, true);
    CListRows& rows = undo.Rows();
    const CRenamePlan plan = PlanRename(dir, rows);
    CJournal journal = PlanJournal(folder, key, plan.steps);
    journal.kind = CJournal::Undo;
    journal.strUndoes = JournalFileName(target->run.strPath);
    if (const int error = journals.Write(journal); error != 0)
        return Finish(Stopped("The journal of the undo could not be written: " + ErrorText(error),
                              journals.Folder(), 0, Tally(0)),
                      0, std::move(undo.LeftAlone()));
    CPlanResult result;
    const std::optional<CRenameOutcome> failed =
        ExecutePlan(dir, rows, plan.steps, observer, result);
    const int restored = result.nRenamed;
    CRenameOutcome outcome;
    if (failed) {
        outcome = *failed;
        outcome.strCaption = kCaption;
    } else if (plan.stop.kind != CRenameStop::None) {
        outcome = PlannedStop(plan.stop, rows, restored);
    } else {
        outcome =
            Outcome(CRenameOutcome::AllRenamed, RestoredText(restored), kCaption, false, restored);
        const std::vector<std::string>& leftAlone = undo.LeftAlone();
        if (!leftAlone.empty()) {
            outcome.kind = CRenameOutcome::SomeRenamed;
            outcome.strText += '\n' + std::to_string(leftAlone.size()) +
                               (leftAlone.size() == 1 ? " file was" : " files were") +
                               " left alone, because it changed since the rename:";
            for (const std::string& line : leftAlone)
                outcome.strText += '\n' + line;
        }
        // A file that had to stay under a temporary name keeps the run
        // waiting: once its old name is free, the next undo brings it back.
        if (!undo.LeftUnderTemporaryName())
            CloseRun(*target, outcome);
    }
    RecordEnd(journal.strPath, folder, result, outcome);
    if (!target->damage.empty()) {
        // Said first: what was restored is what the journal's sound lines allowed.
        std::string text = "The journal of the last rename is damaged; what its sound lines "
                           "allowed was undone, and nothing else was touched.";
        for (const std::string& damage : target->damage)
            text += '\n' + damage;
        outcome.strText = text + '\n' + outcome.strText;
        outcome.kind = CRenameOutcome::Damaged;
        outcome.bErrorIcon = true;
    }
    outcome.strText += notes;
    return Finish(std::move(outcome), restored, std::move(undo.LeftAlone()));
}

} // namespace velmora
