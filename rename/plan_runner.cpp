#include "plan_runner.h"

#include "crash_point.h"
#include "journal.h"
#include "safe_rename.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>

namespace velmora {
namespace {

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
        m_fromAside.assign(steps.size(), false);
        for (m_done = 0; m_done < steps.size(); ++m_done) {
            CrashPoint("step");
            const CRenameStep& step = steps[m_done];
            const std::optional<CFileId> id = m_folder.Identify(step.strFrom);
            if (!id || *id != step.id) {
                m_changed = true;
                return false;
            }
            m_error = m_folder.RenameNoReplace(step.strFrom, step.strTo);
            if (m_error != 0)
                return false;
            Apply(step, step.strTo);
            if (step.bAside) {
                m_aside.insert(FileKey(step));
                ++m_outstanding;
                if (m_observer != nullptr)
                    m_observer->OnMovedAside(step.strFrom, step.strTo);
            } else {
                if (m_aside.erase(FileKey(step)) != 0) {
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
                step.bAside ? (void)m_aside.erase(FileKey(step))
                            : (void)m_aside.insert(FileKey(step));
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
    int Error() const { return m_error; }
    bool Changed() const { return m_changed; }
    int Renamed() const { return m_renamed; }

private:
    static std::uint64_t FileKey(const CRenameStep& step) {
        return static_cast<std::uint64_t>(step.nRow) << 32 |
               static_cast<std::uint32_t>(step.nCompanion + 1);
    }

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
            if (!listed.insert(FileKey(step)).second)
                continue;
            const CListRow& row = m_rows[step.nRow];
            text +=
                '\n' + std::string(step.nCompanion < 0
                                       ? row.Text(0)
                                       : row.Companion(static_cast<std::size_t>(step.nCompanion)));
            if (m_aside.count(FileKey(step)) != 0)
                text += " (a temporary name; this file is to be " + std::string(row.Text(1)) +
                        (step.nCompanion < 0 ? ")" : "'s companion)");
        }
        return text;
    }

    const CFolderHandle& m_folder;
    CListRows& m_rows;
    CRenameObserver* m_observer;
    std::size_t m_done = 0;
    std::size_t m_clean = 0; // steps after which no file was under a temporary name
    int m_outstanding = 0;   // files under temporary names
    int m_renamed = 0;
    int m_error = 0;
    bool m_changed = false;
    std::unordered_set<std::uint64_t> m_aside; // files under a temporary name
    std::vector<bool> m_fromAside;             // steps that started from a temporary name
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

std::optional<CRenameOutcome> ExecutePlan(const CFolderHandle& folder, CListRows& rows,
                                          const std::vector<CRenameStep>& steps,
                                          CRenameObserver* observer, int& renamed,
                                          bool& strandedFiles) {
    CPlanRunner runner(folder, rows, observer);
    const bool done = runner.Run(steps);
    strandedFiles = false;
    if (done) {
        renamed = runner.Renamed();
        return std::nullopt;
    }
    const CRenameStep& step = steps[runner.FailedStep()];
    const std::string stranded = runner.TakeBack(steps);
    strandedFiles = !stranded.empty();
    renamed = runner.Renamed();
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

// The journal of a plan: each file once, in the order of its first step,
// with its name before, its temporary name if it goes aside, and its name
// after.
CJournal PlanJournal(const std::string& folder, const CFolderKey& key, const CListRows&,
                     const std::vector<CRenameStep>& steps) {
    CJournal journal;
    journal.strFolder = folder;
    journal.folder = key;
    journal.nTime = std::time(nullptr);
    std::unordered_map<std::uint64_t, std::size_t> fileOf;
    for (const CRenameStep& step : steps) {
        const std::uint64_t file = static_cast<std::uint64_t>(step.nRow) << 32 |
                                   static_cast<std::uint32_t>(step.nCompanion + 1);
        const auto [it, added] = fileOf.emplace(file, journal.files.size());
        if (added)
            journal.files.push_back({step.id.nDevice, step.id.nInode, step.strFrom, {}, {}});
        CJournalFile& entry = journal.files[it->second];
        (step.bAside ? entry.strTemporary : entry.strAfter) = step.strTo;
    }
    return journal;
}

} // namespace velmora
