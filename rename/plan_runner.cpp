#include "plan_runner.h"

#include "crash_point.h"
#include "journal.h"
#include "safe_rename.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>
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

// Carries out a plan's steps in order, each only after checking that its
// name still holds the file the list was made from, and takes steps back when
// the run has to stop. The rows follow the disk step by step.
class CPlanRunner {
public:
    CPlanRunner(const CFolderHandle& folder, CListRows& rows, CRenameObserver* observer)
        : m_folder(folder), m_rows(rows), m_observer(observer) {}

    // Runs the steps; false when one failed (the failed step's index in
    // FailedStep(), why in Error() or Changed()).
    bool Run(const std::vector<CRenameStep>& steps) {
        m_steps = steps.size();
        m_fromAside.assign(steps.size(), false);
        m_stamps.assign(steps.size(), {});
        for (m_done = 0; m_done < steps.size(); ++m_done) {
            CrashPoint("step");
            const CRenameStep& step = steps[m_done];
            // The status call that checks the file also gives its stamp.
            const auto stamped = m_folder.IdentifyStamped(step.strFrom);
            if (!stamped || stamped->first != step.id) {
                m_changed = true;
                return false;
            }
            m_stamps[m_done] = stamped->second;
            m_error = m_folder.RenameNoReplace(step.strFrom, step.strTo);
            if (m_error != 0)
                return false;
            Apply(step, step.strTo);
            if (step.bAside) {
                m_aside.insert(StepFileKey(step));
                ++m_outstanding;
                if (m_observer != nullptr)
                    m_observer->OnMovedAside(step.strFrom, step.strTo);
            } else {
                if (m_aside.erase(StepFileKey(step)) != 0) {
                    m_fromAside[m_done] = true;
                    --m_outstanding;
                }
                if (m_observer != nullptr)
                    m_observer->OnRenamed(step.strFrom, step.strTo);
            }
            if (step.bFinal) {
                m_rows[step.nRow].nImage = RowNamed;
                ++m_renamed;
                if (m_outstanding == 0)
                    m_clean = m_done + 1;
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
            const int error = m_folder.RenameNoReplace(step.strTo, step.strFrom);
            if (error != 0)
                return Stranded(steps, k - 1, error);
            Apply(step, step.strFrom);
            if (step.bAside || m_fromAside[k - 1])
                step.bAside ? (void)m_aside.erase(StepFileKey(step))
                            : (void)m_aside.insert(StepFileKey(step));
            if (step.bFinal) {
                m_rows[step.nRow].nImage = RowToRename;
                --m_renamed;
            }
            if (m_observer != nullptr)
                m_observer->OnUndone(step.strTo, step.strFrom);
        }
        return {};
    }

    std::size_t FailedStep() const { return m_done; }
    // The stamp each step's file had when the step was about to be taken.
    const std::vector<CFileStamp>& Stamps() const { return m_stamps; }
    // Steps whose changes stay: all after a whole run, those up to the clean
    // point after a stop.
    std::size_t StepsKept() const { return m_done == m_steps ? m_done : m_clean; }
    int Error() const { return m_error; }
    bool Changed() const { return m_changed; }
    int Renamed() const { return m_renamed; }

private:
    // The row shows the file's name now.
    void Apply(const CRenameStep& step, const std::string& name) {
        CListRow& row = m_rows[step.nRow];
        if (step.nCompanion < 0)
            row.SetText(0, name);
        else
            row.SetCompanion(static_cast<std::size_t>(step.nCompanion), name);
    }

    std::string Stranded(const std::vector<CRenameStep>& steps, std::size_t failed, int error) {
        std::string text = "Taking back the run's last steps failed: " + ErrorText(error) + '\n' +
                           Arrow(steps[failed].strTo, steps[failed].strFrom) +
                           "\nThe files of those steps are now:";
        std::unordered_set<std::uint64_t> listed;
        for (std::size_t k = m_clean; k <= failed; ++k) {
            const CRenameStep& step = steps[k];
            if (!listed.insert(StepFileKey(step)).second)
                continue;
            const CListRow& row = m_rows[step.nRow];
            text +=
                '\n' + std::string(step.nCompanion < 0
                                       ? row.Text(0)
                                       : row.Companion(static_cast<std::size_t>(step.nCompanion)));
            if (m_aside.count(StepFileKey(step)) != 0)
                text += " (a temporary name; this file is to be " + std::string(row.Text(1)) +
                        (step.nCompanion < 0 ? ")" : "'s companion)");
        }
        return text;
    }

    const CFolderHandle& m_folder;
    CListRows& m_rows;
    CRenameObserver* m_observer;
    std::size_t m_steps = 0;
    std::size_t m_done = 0;
    std::size_t m_clean = 0; // steps after which no file was under a temporary name
    int m_outstanding = 0;   // files under temporary names
    int m_renamed = 0;
    int m_error = 0;
    bool m_changed = false;
    std::unordered_set<std::uint64_t> m_aside; // files under a temporary name
    std::vector<bool> m_fromAside;             // steps that started from a temporary name
    std::vector<CFileStamp> m_stamps;          // per step taken
};

} // namespace

CRenameOutcome Outcome(CRenameOutcome::Kind kind, std::string text, const char* caption,
                       bool errorIcon, int renamed) {
    CRenameOutcome outcome;
    outcome.kind = kind;
    outcome.strText = std::move(text);
    outcome.strCaption = caption;
    outcome.bErrorIcon = errorIcon;
    outcome.nRenamed = renamed;
    return outcome;
}

constexpr std::size_t kMaxErrorText = 127;

std::string ErrorText(int error) {
    std::string text = std::strerror(error);
    if (text.size() > kMaxErrorText)
        text.resize(kMaxErrorText);
    return text;
}

std::string Tally(int renamed) {
    if (renamed == 0)
        return "No file was renamed; none is left under a temporary name.";
    if (renamed == 1)
        return "1 file was renamed; none is left under a temporary name.";
    return std::to_string(renamed) + " files were renamed; none is left under a temporary name.";
}

// Every stop ends here: the reason first, as the system words it, then the
// files concerned and what the run left behind.
CRenameOutcome Stopped(const std::string& reason, const std::string& files, int renamed,
                       const std::string& tally) {
    std::string text = reason;
    if (!files.empty())
        text += '\n' + files;
    text += '\n' + tally;
    return Outcome(CRenameOutcome::ErrorRename, std::move(text), "Error Rename", true, renamed);
}

std::string Arrow(std::string_view from, std::string_view to) {
    std::string text(from);
    return text.append(" -> ").append(to);
}

// The stop the plan foresaw, worded for the user.
CRenameOutcome PlannedStop(const CRenameStop& stop, const CListRows& rows, int renamed) {
    const CListRow& row = rows[stop.nRow];
    // A companion's step names the companion: its photo may have been free to go.
    const std::string files =
        stop.nCompanion < 0
            ? Arrow(row.Text(0), row.Text(1))
            : Arrow(row.Companion(static_cast<std::size_t>(stop.nCompanion)), stop.strTo);
    switch (stop.kind) {
    case CRenameStop::Refused:
        return Stopped(NameFaultText(stop.nFault), files, renamed, Tally(renamed));
    case CRenameStop::Taken:
        return Stopped(ErrorText(EEXIST),
                       files + "\n" + stop.strHolder +
                           (stop.bHeldByRun ? " took that name earlier in this run"
                                            : " holds that name and is not renamed by this run"),
                       renamed, Tally(renamed));
    default:
        return Stopped(ErrorText(stop.nError), files, renamed, Tally(renamed));
    }
}

// The first step of each file the first `taken` steps reached: the journal
// lists files in the order of their first step, so file i's is the ith.
static std::vector<std::size_t> FirstSteps(const std::vector<CRenameStep>& steps,
                                           std::size_t taken) {
    std::vector<std::size_t> first;
    std::unordered_set<std::uint64_t> seen;
    for (std::size_t k = 0; k < taken; ++k) {
        if (seen.insert(StepFileKey(steps[k])).second)
            first.push_back(k);
    }
    return first;
}

std::optional<CRenameOutcome> ExecutePlan(const CFolderHandle& folder, CListRows& rows,
                                          const std::vector<CRenameStep>& steps,
                                          CRenameObserver* observer, CPlanResult& result) {
    CPlanRunner runner(folder, rows, observer);
    const bool done = runner.Run(steps);
    result = {};
    const std::vector<std::size_t> first = FirstSteps(steps, runner.FailedStep());
    for (const std::size_t k : first)
        result.fileStamps.push_back(runner.Stamps()[k]);
    const std::string stranded = done ? std::string() : runner.TakeBack(steps);
    result.bStranded = !stranded.empty();
    result.nRenamed = runner.Renamed();
    // The files whose first step is among the steps kept.
    result.nFilesTouched = static_cast<std::size_t>(
        std::lower_bound(first.begin(), first.end(), runner.StepsKept()) - first.begin());
    if (done)
        return std::nullopt;
    const CRenameStep& step = steps[runner.FailedStep()];
    const int renamed = result.nRenamed;
    const CListRow& row = rows[step.nRow];
    const std::string from(step.nCompanion < 0
                               ? row.Text(0)
                               : row.Companion(static_cast<std::size_t>(step.nCompanion)));
    const std::string tally = stranded.empty() ? Tally(renamed) : stranded;
    if (runner.Changed())
        return Stopped("The folder changed since it was listed",
                       Arrow(from, step.strTo) + "\n" + from +
                           " is no longer the file that was listed; open the folder again to "
                           "see it as it is now",
                       renamed, tally);
    return Stopped(ErrorText(runner.Error()),
                   Arrow(from, step.strTo) + (step.bAside ? " (moved aside)" : ""), renamed, tally);
}

CJournal PlanJournal(const std::string& folder, const CFolderKey& key,
                     const std::vector<CRenameStep>& steps) {
    CJournal journal;
    journal.strFolder = folder;
    journal.folder = key;
    // The fine clock, not time()'s coarse one: a file's birth time may be
    // read off the fine clock, and a file born before the run must never
    // look born after it.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    journal.nTime = now.tv_sec;
    journal.files.reserve(steps.size());
    std::unordered_map<std::uint64_t, std::size_t> fileOf;
    fileOf.reserve(steps.size());
    for (const CRenameStep& step : steps) {
        const auto [it, added] = fileOf.emplace(StepFileKey(step), journal.files.size());
        if (added)
            journal.files.push_back({step.id.nDevice, step.id.nInode, {}, step.strFrom, {}, {}});
        CJournalFile& entry = journal.files[it->second];
        (step.bAside ? entry.strTemporary : entry.strAfter) = step.strTo;
    }
    return journal;
}

std::string UndoHint(const std::string& folder) {
    return "velmora-cli undo " + folder +
           " (or Ctrl+Z in the window) gives every file back the name it had before.";
}

void TellNotRecorded(CRenameOutcome& outcome, const std::string& what, int error,
                     const std::string& then) {
    outcome.kind = CRenameOutcome::ErrorRename;
    outcome.bErrorIcon = true;
    outcome.strText +=
        '\n' + what + " could not be recorded in its journal: " + ErrorText(error) + '\n' + then;
}

void RecordEnd(const std::string& journalPath, const std::string& folder, const CPlanResult& result,
               CRenameOutcome& outcome) {
    if (journalPath.empty())
        return;
    std::string lines;
    // A file with a birth time needs no stamp: one born after the run began
    // is a new file on a reused inode, and the journal has the run's time.
    for (std::size_t i = 0; i < result.fileStamps.size(); ++i) {
        if (result.fileStamps[i].cKind != 'b')
            lines += StampLine(i, result.fileStamps[i]) + '\n';
    }
    // A run that left files under temporary names did not end: its journal
    // stays open, so that the folder waits for an undo.
    if (result.bStranded) {
        if (!lines.empty()) {
            lines.pop_back();
            CJournalStore::Append(journalPath, lines);
        }
        outcome.strText += '\n' + UndoHint(folder);
        return;
    }
    if (const int error = CJournalStore::Append(
            journalPath, lines + DoneLine(result.nRenamed, result.nFilesTouched));
        error != 0)
        TellNotRecorded(outcome, "The end of this run", error,
                        "Until it is undone, the folder counts as interrupted: " +
                            UndoHint(folder));
}

} // namespace velmora
