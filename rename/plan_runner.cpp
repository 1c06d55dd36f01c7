#include "plan_runner.h"

#include "crash_point.h"
#include "journal_format.h"
#include "journal_store.h"
#include "run_messages.h"
#include "safe_rename.h"

#include <algorithm>
#include <ctime>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>

namespace velmora {
namespace {

// A file of a plan: a row's own file or one of its companions.
std::uint64_t StepFileKey(const CRenameStep& step) {
    return static_cast<std::uint64_t>(step.nRow) << 32 |
           static_cast<std::uint32_t>(step.nCompanion + 1);
}

// Names one after another in one buffer.
class CNameList {
public:
    void Add(std::string_view name) {
        m_text.append(name);
        m_ends.push_back(m_text.size());
    }
    std::string_view operator[](std::size_t i) const {
        const std::size_t start = i == 0 ? 0 : m_ends[i - 1];
        return std::string_view(m_text).substr(start, m_ends[i] - start);
    }
    void Clear() {
        m_text.clear();
        m_ends.clear();
    }

private:
    std::string m_text;
    std::vector<std::size_t> m_ends;
};

// Carries out a plan's steps in order, each only after checking that its
// name still holds the file the list was made from, and takes steps back when
// the run has to stop. The rows follow the disk step by step, so a step's
// file is where the rows show it; the names the steps took from the rows are
// kept only back to the last point at which no file was under a temporary
// name, for taking steps back, so that a run keeps none in the end.
class CPlanRunner {
public:
    CPlanRunner(const CFolderHandle& folder, CListRows& rows, CRenameObserver* observer)
        : m_folder(folder), m_rows(rows), m_observer(observer) {}

    // Runs the steps; false when one failed (the failed step's index in
    // FailedStep(), why in Error() or Changed()).
    bool Run(const std::vector<CRenameStep>& steps) {
        m_steps = steps.size();
        m_fromAside.assign(steps.size(), false);
        for (m_done = 0; m_done < steps.size(); ++m_done) {
            CrashPoint("step");
            const CRenameStep& step = steps[m_done];
            m_from.assign(RowFileName(m_rows[step.nRow], step.nCompanion));
            NewName(step, m_to);
            // The status call that checks the file also gives its stamp.
            const auto stamped = m_folder.IdentifyStamped(m_from);
            if (!stamped || stamped->first != step.id) {
                m_changed = true;
                return false;
            }
            m_error = m_folder.RenameNoReplace(m_from, m_to);
            if (m_error != 0)
                return false;
            if (step.bFirst) {
                if (stamped->second.cKind != 'b')
                    m_stamps.emplace_back(m_files, stamped->second);
                ++m_files;
            }
            m_taken.Add(m_from);
            Apply(step, m_to);
            if (step.bAside) {
                m_aside.insert(StepFileKey(step));
                if (step.nCompanion >= 0)
                    m_asideListed[StepFileKey(step)] = m_done - m_clean;
                ++m_outstanding;
                if (m_observer != nullptr)
                    m_observer->OnMovedAside(m_from, m_to);
            } else {
                if (m_aside.erase(StepFileKey(step)) != 0) {
                    m_fromAside[m_done] = true;
                    --m_outstanding;
                }
                if (m_observer != nullptr)
                    m_observer->OnRenamed(m_from, m_to);
            }
            if (step.bFinal) {
                m_rows[step.nRow].nImage = RowNamed;
                ++m_renamed;
                if (m_observer != nullptr && !m_observer->OnRowDone(m_renamed))
                    m_stopWanted = true;
                if (m_outstanding == 0) {
                    m_clean = m_done + 1;
                    m_cleanFiles = m_files;
                    m_taken.Clear();
                    m_asideListed.clear();
                    // A stop asked for waits for this point, which needs
                    // no step taken back.
                    if (m_stopWanted && m_clean < steps.size()) {
                        m_done = m_clean;
                        m_cancelled = true;
                        return false;
                    }
                }
            }
        }
        return true;
    }

    // Takes back, newest first, the steps done since the last point at which
    // no file was under a temporary name and every row begun was whole. Empty
    // when all went back; else the message that says where each file of
    // those steps is now.
    std::string TakeBack(const std::vector<CRenameStep>& steps) {
        for (std::size_t k = m_done; k > m_clean; --k) {
            const CRenameStep& step = steps[k - 1];
            // The later steps of its file are back: the file is where this
            // step put it.
            const std::string to(RowFileName(m_rows[step.nRow], step.nCompanion));
            const std::string from(m_taken[k - 1 - m_clean]);
            const int error = m_folder.RenameNoReplace(to, from);
            if (error != 0)
                return Stranded(steps, k - 1, error, to, from);
            Apply(step, from);
            if (step.bAside || m_fromAside[k - 1])
                step.bAside ? (void)m_aside.erase(StepFileKey(step))
                            : (void)m_aside.insert(StepFileKey(step));
            if (step.bFinal) {
                m_rows[step.nRow].nImage = RowToRename;
                --m_renamed;
            }
            if (m_observer != nullptr)
                m_observer->OnUndone(to, from);
        }
        return {};
    }

    std::size_t FailedStep() const { return m_done; }
    // The name the failed step was to give.
    const std::string& FailedTo() const { return m_to; }
    std::vector<std::pair<std::size_t, CFileStamp>>& Stamps() { return m_stamps; }
    // Files of the journal whose changes stay: all reached after a whole
    // run, those up to the clean point after a stop.
    std::size_t FilesKept() const { return m_done == m_steps ? m_files : m_cleanFiles; }
    int Error() const { return m_error; }
    bool Changed() const { return m_changed; }
    bool Cancelled() const { return m_cancelled; }
    int Renamed() const { return m_renamed; }

private:
    // The name the step gives: a temporary name, column 1, or a companion's
    // new name, which keeps the extension of its name before the run.
    void NewName(const CRenameStep& step, std::string& name) const {
        if (step.bAside) {
            name = TemporaryName(step.nTemporary);
            return;
        }
        const CListRow& row = m_rows[step.nRow];
        const auto aside =
            step.nCompanion < 0 ? m_asideListed.end() : m_asideListed.find(StepFileKey(step));
        name = NewFileName(row, step.nCompanion,
                           aside != m_asideListed.end() ? m_taken[aside->second]
                                                        : RowFileName(row, step.nCompanion));
    }

    // The row shows the file's name now.
    void Apply(const CRenameStep& step, std::string_view name) {
        CListRow& row = m_rows[step.nRow];
        if (step.nCompanion < 0)
            row.SetText(0, name);
        else
            row.SetCompanion(static_cast<std::size_t>(step.nCompanion), name);
    }

    std::string Stranded(const std::vector<CRenameStep>& steps, std::size_t failed, int error,
                         const std::string& to, const std::string& from) {
        std::string text = TakeBackFailedText(error, to, from);
        std::unordered_set<std::uint64_t> listed;
        for (std::size_t k = m_clean; k <= failed; ++k) {
            const CRenameStep& step = steps[k];
            if (!listed.insert(StepFileKey(step)).second)
                continue;
            const CListRow& row = m_rows[step.nRow];
            text += StrandedFileLine(RowFileName(row, step.nCompanion),
                                     m_aside.count(StepFileKey(step)) != 0, row.Text(1),
                                     step.nCompanion >= 0);
        }
        return text;
    }

    const CFolderHandle& m_folder;
    CListRows& m_rows;
    CRenameObserver* m_observer;
    std::size_t m_steps = 0;
    std::size_t m_done = 0;
    std::size_t m_clean = 0;      // steps after which no file was under a temporary name
    std::size_t m_files = 0;      // files of the journal reached: their first steps done
    std::size_t m_cleanFiles = 0; // those at the clean point
    int m_outstanding = 0;        // files under temporary names
    int m_renamed = 0;
    int m_error = 0;
    bool m_changed = false;
    bool m_stopWanted = false; // the observer asked for a stop
    bool m_cancelled = false;  // and the run stopped for it
    std::string m_from;        // the names of the step being taken
    std::string m_to;
    CNameList m_taken; // each step's name before it, from the clean point on
    std::unordered_set<std::uint64_t> m_aside; // files under a temporary name
    // Companions moved aside: their step in m_taken, which has their name before.
    std::unordered_map<std::uint64_t, std::size_t> m_asideListed;
    std::vector<bool> m_fromAside; // steps that started from a temporary name
    std::vector<std::pair<std::size_t, CFileStamp>> m_stamps;
};

} // namespace

std::optional<CRenameOutcome> ExecutePlan(const CFolderHandle& folder, CListRows& rows,
                                          const std::vector<CRenameStep>& steps,
                                          CRenameObserver* observer, CPlanResult& result) {
    CPlanRunner runner(folder, rows, observer);
    const bool done = runner.Run(steps);
    result = {};
    result.stamps = std::move(runner.Stamps());
    const std::string stranded = done ? std::string() : runner.TakeBack(steps);
    result.bStranded = !stranded.empty();
    result.nRenamed = runner.Renamed();
    result.nFilesTouched = runner.FilesKept();
    if (done)
        return std::nullopt;
    const CRenameStep& step = steps[runner.FailedStep()];
    const int renamed = result.nRenamed;
    const std::string from(RowFileName(rows[step.nRow], step.nCompanion));
    if (runner.Cancelled())
        return Outcome(renamed == 0 ? CRenameOutcome::NoneRenamed : CRenameOutcome::SomeRenamed,
                       "Cancelled. " + Tally(renamed), "Rename Files", false, renamed);
    const std::string tally = stranded.empty() ? Tally(renamed) : stranded;
    if (runner.Changed())
        return FolderChangedStop(from, runner.FailedTo(), renamed, tally);
    return StepFailedStop(runner.Error(), from, runner.FailedTo(), step.bAside, renamed, tally);
}

CJournal RunJournal(const std::string& folder, const CFolderKey& key) {
    CJournal journal;
    journal.strFolder = folder;
    journal.folder = key;
    // The fine clock, not time()'s coarse one: a file's birth time may be
    // read off the fine clock, and a file born before the run must never
    // look born after it.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    journal.nTime = now.tv_sec;
    journal.nTimeNanoseconds = now.tv_nsec;
    return journal;
}

CPlanJournalLines::CPlanJournalLines(const CListRows& rows, const std::vector<CRenameStep>& steps,
                                     const std::vector<std::optional<CFileTimes>>* times)
    : m_rows(rows), m_steps(steps), m_times(times) {
    m_count = static_cast<std::size_t>(
        std::count_if(steps.begin(), steps.end(), [](const CRenameStep& s) { return s.bFirst; }));
}

CJournalLine CPlanJournalLines::Line(std::size_t index) {
    if (index == 0)
        m_step = 0;
    while (!m_steps[m_step].bFirst)
        ++m_step;
    const CRenameStep& step = m_steps[m_step++];
    const CListRow& row = m_rows[step.nRow];
    const std::string_view before = RowFileName(row, step.nCompanion);
    // A file that goes aside does so at its first step.
    m_temporary = step.bAside ? TemporaryName(step.nTemporary) : std::string();
    m_after = NewFileName(row, step.nCompanion, before);
    const CFileTimes* times =
        m_times != nullptr && (*m_times)[index] ? &*(*m_times)[index] : nullptr;
    return {step.id.nDevice, step.id.nInode, before, m_temporary, m_after, times};
}

void RecordEnd(const std::string& journalPath, const std::string& folder, const CPlanResult& result,
               CRenameOutcome& outcome) {
    if (journalPath.empty())
        return;
    // A file with a birth time needs no stamp, and result.stamps has none:
    // one born after the run began is a new file on a reused inode, and the
    // journal has the run's time. A run that left files under temporary
    // names did not end: its journal stays open, so that the folder waits
    // for an undo.
    if (result.bStranded) {
        if (!result.stamps.empty())
            CJournalStore::AppendEnd(journalPath, result.stamps, {});
        outcome.strText += '\n' + UndoHint(folder);
        return;
    }
    if (const int error = CJournalStore::AppendEnd(journalPath, result.stamps,
                                                   DoneLine(result.nRenamed, result.nFilesTouched));
        error != 0)
        TellEndNotRecorded(outcome, error, folder);
}

} // namespace velmora
