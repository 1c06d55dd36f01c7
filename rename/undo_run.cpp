#include "undo_run.h"

#include "emptied_folders.h"
#include "journal_reader.h"
#include "journal_store.h"
#include "journaled_run.h"
#include "last_run.h"
#include "plan_runner.h"
#include "rename_plan.h"
#include "run_messages.h"
#include "safe_rename.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <numeric>
#include <span>
#include <string_view>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace velmora {
namespace {

// The run to undo, read whole, and the undo runs that already worked on it
// (their temporary names are places its files may be); the damage found in
// any of them, "PATH: line N: why".
struct CUndoTarget {
    CJournal run;
    std::vector<CJournal> undos;
    std::vector<std::string> damage;

    // Once the rows of the undo are made, their files are no longer needed.
    void ReleaseFiles() {
        run.files.Release();
        for (CJournal& undo : undos)
            undo.files.Release();
    }
};

std::optional<CUndoTarget> ReadTarget(const CLastRun& last) {
    if (!last.run)
        return std::nullopt;
    CUndoTarget target;
    const auto read = [&target](const CJournal& summary) {
        std::optional<CJournal> whole = ReadJournal(summary.strPath);
        if (!whole) {
            target.damage.push_back(UnreadableJournal(summary.strPath));
            whole = summary;
        } else if (!whole->strDamage.empty()) {
            target.damage.push_back(JournalDamage(whole->strPath, whole->strDamage));
        }
        return std::move(*whole);
    };
    target.run = read(*last.run);
    for (const CJournal& undo : last.undos)
        target.undos.push_back(read(undo));
    return target;
}

// The names of the open folder's own entries, listed once: a name not among
// them needs no status call to be known absent, and most names an undo asks
// for (the names before, of files not yet back) are absent. Names in
// subfolders, and every name when the folder can't be listed, are asked for.
// Only the names' hashes are kept: two names of one hash cost a status call.
class CListedNames {
public:
    explicit CListedNames(const CFolderHandle& folder) {
        const int fd = openat(folder.Fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
        if (dir == nullptr) {
            if (fd >= 0)
                close(fd);
            return;
        }
        errno = 0;
        while (const dirent* entry = readdir(dir))
            m_hashes.push_back(std::hash<std::string_view>()(entry->d_name));
        m_bListed = errno == 0;
        closedir(dir);
        std::sort(m_hashes.begin(), m_hashes.end());
    }

    // False only when `name` was surely not in the folder when it was listed.
    bool MayHold(const std::string& name) const {
        return !m_bListed || name.find('/') != std::string::npos ||
               std::binary_search(m_hashes.begin(), m_hashes.end(),
                                  std::hash<std::string_view>()(name));
    }

private:
    std::vector<std::size_t> m_hashes; // sorted
    bool m_bListed = false;
};

// The rows of an undo: each file found, by its recorded identity, where the
// run (or an undo of it) left it, to go back to its name before; the files
// that can't are listed. Journal entries are told by their index, and files
// grouped by sorting indices, so that the rows are the undo's one large cost.
class CUndoRows {
public:
    CUndoRows(const CFolderHandle& folder, const CUndoTarget& target, bool repair)
        : m_folder(folder), m_listed(folder), m_runTime(RunTime(target.run)) {
        // A file renamed under several of its names (hard links) is restored
        // as one: all its names at once. Its entries in journal order, the
        // files in the order of their first entry.
        const CJournalFiles& files = target.run.files;
        const std::size_t touched = std::min(target.run.nTouched, files.size());
        // The entries sorted by file, then by index; each file's group of
        // entries, found once for all its entries.
        std::vector<CUndoStep> byFile(touched);
        for (std::size_t i = 0; i < touched; ++i)
            byFile[i] = {files.Device(i), files.Inode(i), &files, i};
        std::sort(byFile.begin(), byFile.end(), [](const CUndoStep& a, const CUndoStep& b) {
            return std::tie(a.nDevice, a.nInode, a.nIndex) <
                   std::tie(b.nDevice, b.nInode, b.nIndex);
        });
        std::vector<std::size_t> entries(touched);
        // By a group's first entry, where the group begins and ends in `entries`.
        std::vector<std::pair<std::size_t, std::size_t>> groups(touched, {touched, touched});
        for (std::size_t begin = 0, end; begin < touched; begin = end) {
            for (end = begin; end < touched && !(byFile[begin] < byFile[end]); ++end)
                entries[end] = byFile[end].nIndex;
            groups[byFile[begin].nIndex] = {begin, end};
        }
        // The steps of the undos that already worked on the run, by file.
        std::vector<CUndoStep> undoSteps;
        for (const CJournal& undo : target.undos) {
            for (std::size_t i = 0; i < undo.files.size(); ++i)
                undoSteps.push_back({undo.files.Device(i), undo.files.Inode(i), &undo.files, i});
        }
        std::stable_sort(undoSteps.begin(), undoSteps.end());
        m_rows.reserve(touched);
        for (std::size_t i = 0; i < touched; ++i) {
            // Each file at its first entry, which its group begins with.
            const auto [begin, end] = groups[i];
            if (begin == touched)
                continue;
            const auto group = std::span(entries).subspan(begin, end - begin);
            const CUndoStep key{files.Device(i), files.Inode(i), nullptr, 0};
            const auto [first, last] = std::equal_range(undoSteps.begin(), undoSteps.end(), key);
            Restore(files, group, std::span(first, last), repair);
        }
        LeaveBlockedAlone();
    }

    // True when a file left alone is under a temporary name: the run then
    // still waits for an undo that can bring it back.
    bool LeftUnderTemporaryName() const { return m_leftTemporary; }

    CListRows& Rows() { return m_rows; }
    std::vector<std::string>& LeftAlone() { return m_leftAlone; }

    // The times to give back once the files are at their names before: of
    // each file found whose journal has them.
    struct CTimesBack {
        std::string strName; // its name before
        CFileId id;
        CFileTimes times;
    };
    std::vector<CTimesBack>& TimesBack() { return m_timesBack; }

private:
    // An entry of an undo journal, ordered by the file it names.
    struct CUndoStep {
        std::uint64_t nDevice;
        std::uint64_t nInode;
        const CJournalFiles* pFiles;
        std::size_t nIndex;
        bool operator<(const CUndoStep& other) const {
            return std::pair(nDevice, nInode) < std::pair(other.nDevice, other.nInode);
        }
    };

    // One file with the names the run took from it (its entries in `files`,
    // its own entry first): the names it has now among those the run and its
    // undos gave it are paired with the names it must get back. `repair`:
    // names left over by a cut-off link-then-unlink go.
    void Restore(const CJournalFiles& files, std::span<const std::size_t> group,
                 std::span<const CUndoStep> undoSteps, bool repair) {
        const std::size_t file = group.front();
        std::vector<std::string> names;
        const auto add = [&names](std::string_view name) {
            if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
                names.emplace_back(name);
        };
        for (const std::size_t entry : group) {
            add(files.After(entry));
            add(files.Temporary(entry));
        }
        for (const CUndoStep& step : undoSteps) {
            add(step.pFiles->Before(step.nIndex));
            add(step.pFiles->Temporary(step.nIndex));
            add(step.pFiles->After(step.nIndex));
        }
        for (const std::size_t entry : group)
            add(files.Before(entry));
        std::vector<std::string> held; // the names it has now
        // Why it is not found, when it is not: the first name that holds a
        // file on its inode tells the most.
        IdentityFault why = IdentityFault::NoFileOnInode;
        std::string_view whyName;
        for (const std::string& name : names) {
            const std::optional<IdentityFault> fault = CheckIdentity(name, files, file);
            if (!fault) {
                held.push_back(name);
            } else if (why == IdentityFault::NoFileOnInode) {
                why = *fault;
                whyName = name;
            }
        }
        if (!held.empty()) {
            for (const std::size_t entry : group) {
                if (const CFileTimes* times = files.Times(entry))
                    m_timesBack.push_back({std::string(files.Before(entry)),
                                           CFileId::FromStat(files.Device(file), files.Inode(file)),
                                           *times});
            }
        }
        const auto holds = [&held](std::string_view name) {
            return std::find(held.begin(), held.end(), name) != held.end();
        };
        std::vector<std::string> extras; // names it has that it had not before
        for (const std::string& name : held) {
            if (std::none_of(group.begin(), group.end(),
                             [&](std::size_t entry) { return files.Before(entry) == name; }))
                extras.push_back(name);
        }
        std::vector<std::size_t> missing;
        for (const std::size_t entry : group) {
            if (!holds(files.Before(entry)))
                missing.push_back(entry);
        }
        for (const std::size_t entry : missing) {
            auto from = std::find(extras.begin(), extras.end(), files.After(entry));
            if (from == extras.end())
                from = std::find(extras.begin(), extras.end(), files.Temporary(entry));
            if (from == extras.end())
                from = extras.begin();
            if (from == extras.end()) {
                m_leftAlone.push_back(NotFoundUnderRunNames(files.Before(entry), why, whyName));
                continue;
            }
            CListRow row;
            row.SetText(0, *from);
            row.SetText(1, files.Before(entry));
            row.nImage = RowToRename;
            row.SetId(CFileId::FromStat(files.Device(file), files.Inode(file)));
            m_rows.push_back(std::move(row));
            extras.erase(from);
        }
        if (!repair)
            return;
        for (const std::string& extra : extras) {
            if (!Unlink(extra) && IsTemporaryName(extra)) {
                m_leftTemporary = true;
                m_leftAlone.push_back(SecondNameNotRemoved(extra, files.Before(file)));
            }
        }
    }

    // Nothing when `name` holds the journal's file: same inode and the same
    // stamp where the journal recorded one, else not born after the run
    // began, so that a new file on a reused inode is not taken for it.
    std::optional<IdentityFault> CheckIdentity(const std::string& name, const CJournalFiles& files,
                                               std::size_t file) const {
        const auto stamped = m_listed.MayHold(name) ? m_folder.IdentifyStamped(name) : std::nullopt;
        if (!stamped || stamped->first != CFileId::FromStat(files.Device(file), files.Inode(file)))
            return IdentityFault::NoFileOnInode;
        if (const CFileStamp stamp = files.Stamp(file); stamp.Known()) {
            if (stamped->second != stamp &&
                !HasTimesBefore(stamped->second, stamp, files.Times(file)))
                return IdentityFault::StampChanged;
        } else if (m_runTime.first != 0 && stamped->second.cKind == 'b' &&
                   std::pair(stamped->second.nSeconds,
                             static_cast<long>(stamped->second.nNanoseconds)) > m_runTime) {
            return IdentityFault::BornAfterRun;
        }
        return std::nullopt;
    }

    // A run that sets file times stamps its files as it leaves them, with
    // the modification time it gave; an undo cut off after giving the times
    // before back finds the file with those. Both are the file the run
    // renamed, with its size unchanged; any other time is not.
    static bool HasTimesBefore(const CFileStamp& now, const CFileStamp& stamp,
                               const CFileTimes* before) {
        return before != nullptr && stamp.cKind == 'm' &&
               now ==
                   CFileStamp{'m', stamp.nSize, before->nModifySeconds, before->nModifyNanoseconds};
    }

    // When the run began, as (seconds, nanoseconds); a journal of whole
    // seconds means the end of its second, as it always has.
    static std::pair<std::int64_t, long> RunTime(const CJournal& run) {
        return {static_cast<std::int64_t>(run.nTime),
                run.nTimeNanoseconds >= 0 ? run.nTimeNanoseconds : 999999999L};
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
        // Rows per file, sorted by the file: a file under several names has several.
        using CKey = std::pair<std::uint32_t, std::uint64_t>;
        std::vector<std::pair<CKey, int>> moving;
        moving.reserve(m_rows.size());
        for (const CListRow& row : m_rows)
            moving.push_back({{row.nDevice, row.nInode}, 1});
        std::sort(moving.begin(), moving.end());
        std::size_t files = 0;
        for (std::size_t i = 0; i < moving.size(); ++i) {
            if (files > 0 && moving[files - 1].first == moving[i].first)
                ++moving[files - 1].second;
            else
                moving[files++] = moving[i];
        }
        moving.resize(files);
        // The rows of the file that still go back; 0 when none does.
        const auto rowsOf = [&moving](const CKey& key) -> int* {
            const auto it = std::lower_bound(moving.begin(), moving.end(), std::pair(key, 0));
            return it != moving.end() && it->first == key ? &it->second : nullptr;
        };
        std::vector<bool> blocked(m_rows.size());
        for (bool changed = true; changed;) {
            changed = false;
            for (std::size_t i = 0; i < m_rows.size(); ++i) {
                if (blocked[i])
                    continue;
                const std::string target(m_rows[i].Text(1));
                const std::optional<CFileId> holder =
                    m_listed.MayHold(target) ? m_folder.Identify(target) : std::nullopt;
                const int* holderRows =
                    holder ? rowsOf({holder->nDevice, holder->nInode}) : nullptr;
                if (holder && (holderRows == nullptr || *holderRows == 0)) {
                    blocked[i] = changed = true;
                    --*rowsOf({m_rows[i].nDevice, m_rows[i].nInode});
                    m_leftTemporary |= IsTemporaryName(std::string(m_rows[i].Text(0)));
                    m_leftAlone.push_back(NameTakenStays(m_rows[i].Text(1), m_rows[i].Text(0)));
                }
            }
        }
        // The rows that go back, in their order, kept in place.
        std::size_t kept = 0;
        for (std::size_t i = 0; i < m_rows.size(); ++i) {
            if (blocked[i])
                continue;
            if (kept != i) // a row moved onto itself would lose its texts
                m_rows[kept] = std::move(m_rows[i]);
            ++kept;
        }
        m_rows.resize(kept);
    }

    const CFolderHandle& m_folder;
    const CListedNames m_listed;                   // taken before any name is looked for
    const std::pair<std::int64_t, long> m_runTime; // when the run began
    CListRows m_rows;
    std::vector<std::string> m_leftAlone;
    std::vector<CTimesBack> m_timesBack;
    bool m_leftTemporary = false;
};

// Marks the run undone, unless an undo cut off before its own end already
// did, and the undos of it cut off before as finished. When that can't be
// recorded the outcome says so.
void CloseRun(const CUndoTarget& target, CRenameOutcome& outcome) {
    int error = target.run.state == CJournal::Undone
                    ? 0
                    : CJournalStore::Append(target.run.strPath, "undone");
    for (const CJournal& undo : target.undos) {
        if (error == 0 && undo.state == CJournal::Interrupted)
            error = CJournalStore::Append(undo.strPath, "undone");
    }
    if (error != 0)
        TellUndoneNotRecorded(outcome, error);
}

// The undo's part of the journaled run: the folder's last run read whole and
// its files found for the rows, its journal naming the run it undoes, and an
// outcome that lists the files left alone and the journals' damage. The run
// is closed once every file is back that can be.
class CUndoRun final : public CJournaledRun {
public:
    CUndoRun() : CJournaledRun(CJournal::Undo) {}

    // The undo's outcome: `outcome`, what Run gave, with the files restored
    // and those left alone.
    CUndoOutcome Result(CRenameOutcome outcome) {
        CUndoOutcome undo;
        undo.outcome = std::move(outcome);
        undo.nRestored = m_restored;
        undo.leftAlone = std::move(m_leftAlone);
        return undo;
    }

private:
    std::optional<CRenameOutcome> Begin(const CFolderHandle& folder,
                                        const CLastRun& last) override {
        m_folder = &folder;
        m_notes = SkippedNotes(last.skipped);
        m_target = ReadTarget(last);
        if (!m_target)
            return NothingToUndo(m_notes);
        CUndoRows undo(folder, *m_target, true);
        m_rows = std::move(undo.Rows());
        m_leftAlone = std::move(undo.LeftAlone());
        m_timesBack = std::move(undo.TimesBack());
        m_leftTemporary = undo.LeftUnderTemporaryName();
        m_target->ReleaseFiles();
        return std::nullopt;
    }

    CListRows& Rows() override { return m_rows; }

    // The files' names before lie in the folders the run removed.
    void BeforePlan(const CFolderHandle& folder) override {
        RemakeRemovedFolders(folder, m_target->run.removed);
    }

    void StartJournal(CJournal& journal) const override {
        journal.strUndoes = JournalFileName(m_target->run.strPath);
    }

    CRenameOutcome End(const std::optional<CRenameOutcome>& failed, const CRenamePlan& plan,
                       const CPlanResult& result) override {
        m_restored = result.nRenamed;
        if (failed) {
            CRenameOutcome outcome = *failed;
            outcome.strCaption = kUndoCaption;
            return outcome;
        }
        if (plan.stop.kind != CRenameStop::None)
            return PlannedStop(plan.stop, m_rows, m_restored);
        CRenameOutcome outcome = UndoEnd(m_restored, m_leftAlone);
        GiveTimesBack(outcome);
        RemoveCreatedFolders(outcome);
        // Last, as every rename and removal above changed them again.
        for (const CJournal::CFolderTime& time : m_target->run.folderTimes)
            m_folder->SetFolderTime(time.strFolder, {static_cast<std::time_t>(time.nSeconds),
                                                     static_cast<long>(time.nNanoseconds)});
        // A file that had to stay under a temporary name keeps the run
        // waiting: once its old name is free, the next undo brings it back.
        if (!m_leftTemporary)
            CloseRun(*m_target, outcome);
        return outcome;
    }

    void AfterEnd(CRenameOutcome& outcome) override {
        if (!m_target->damage.empty())
            TellDamagedJournal(outcome, m_target->damage);
        outcome.strText += m_notes;
    }

    // The files the run set the times of get their times before, each once
    // it is back under its name before.
    void GiveTimesBack(CRenameOutcome& outcome) const {
        for (const CUndoRows::CTimesBack& back : m_timesBack) {
            if (m_folder->Identify(back.strName) != back.id)
                continue; // left alone: the undo says so
            const CFileTimes& t = back.times;
            const timespec times[2] = {{static_cast<std::time_t>(t.nAccessSeconds),
                                        static_cast<long>(t.nAccessNanoseconds)},
                                       {static_cast<std::time_t>(t.nModifySeconds),
                                        static_cast<long>(t.nModifyNanoseconds)}};
            if (const int error = m_folder->SetTimes(back.strName, times); error != 0)
                outcome.strText += TimeNotSetLine(back.strName, error);
        }
    }

    // The folders the run created go once empty again, the deepest first; a
    // folder that holds anything else is kept and named.
    void RemoveCreatedFolders(CRenameOutcome& outcome) const {
        const std::vector<std::string>& folders = m_target->run.folders;
        for (auto made = folders.rbegin(); made != folders.rend(); ++made) {
            const int error = m_folder->RemoveEmptyFolder(*made);
            if (error != 0 && error != ENOENT)
                outcome.strText += KeptFolderLine(*made, error);
        }
    }

    const CFolderHandle* m_folder = nullptr; // the folder, from Begin on
    std::string m_notes;                     // the store entries skipped, for the outcome's end
    std::optional<CUndoTarget> m_target;
    CListRows m_rows;
    std::vector<std::string> m_leftAlone;
    std::vector<CUndoRows::CTimesBack> m_timesBack;
    bool m_leftTemporary = false;
    int m_restored = 0;
};

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
    CUndoRun undo;
    CRenameOutcome outcome = undo.Run(folder, &journals, observer);
    return undo.Result(std::move(outcome));
}

} // namespace velmora
