#pragma once

#include "journal.h"
#include "list_rows.h"
#include "rename_plan.h"
#include "rename_run.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

// Carrying out a planned run, shared by the rename and the undo: each step
// only after checking that its name still holds the file the list was made
// from, the rows following the disk, and a stop taking the steps back to
// where no file is under a temporary name.
namespace velmora {

class CFolderHandle;

// What carrying out a plan left on disk.
struct CPlanResult {
    int nRenamed = 0;
    // Taking steps back failed: files are left under temporary names and the
    // run did not end cleanly.
    bool bStranded = false;
    // The files of the run's journal that the steps it kept touched (the
    // journal lists files in the order of their first step).
    std::size_t nFilesTouched = 0;
    // The stamps of the journal's first files, those the run reached, read
    // by the identity check before their first step, each with the file's
    // index in the journal; birth times are left out, for they need no
    // stamp line (see RecordEnd).
    std::vector<std::pair<std::size_t, CFileStamp>> stamps;
};

// The outcome of a run that ran into a failure on disk, or nothing when every
// step was carried out. `result` is set either way.
std::optional<CRenameOutcome> ExecutePlan(const CFolderHandle& folder, CListRows& rows,
                                          const std::vector<CRenameStep>& steps,
                                          CRenameObserver* observer, CPlanResult& result);

// The start of the journal of a run in `folder`, begun now; its files are
// a plan's (CPlanJournalLines).
CJournal RunJournal(const std::string& folder, const CFolderKey& key);

// The journal's file lines of a plan: each file once, in the order of its
// first step, with its identity, its name before, its temporary name if it
// goes aside, and its name after, all told by the rows as they are before
// the run.
class CPlanJournalLines : public CJournalLines {
public:
    // `times`: the times of the files before the run, by journal index, when
    // the run sets them (null when it does not).
    CPlanJournalLines(const CListRows& rows, const std::vector<CRenameStep>& steps,
                      const std::vector<std::optional<CFileTimes>>* times = nullptr);
    std::size_t Count() const override { return m_count; }
    CJournalLine Line(std::size_t index) override;

private:
    const CListRows& m_rows;
    const std::vector<CRenameStep>& m_steps;
    const std::vector<std::optional<CFileTimes>>* m_times;
    std::size_t m_count = 0;
    std::size_t m_step = 0; // where the next file's first step is looked for
    std::string m_temporary;
    std::string m_after;
};

// The end of a run in its journal: the stamps of the files it reached, and
// "done" unless it left files under temporary names. When it can't be
// written, the outcome says so and how to undo the run.
void RecordEnd(const std::string& journalPath, const std::string& folder, const CPlanResult& result,
               CRenameOutcome& outcome);

} // namespace velmora
