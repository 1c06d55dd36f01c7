#pragma once

#include "journal.h"
#include "list_rows.h"
#include "rename_plan.h"
#include "rename_run.h"

#include <string>
#include <vector>

// A rename that knows beforehand which rows it would refuse (FindRefusedRows)
// can leave them as they are and rename the others: the question that offers
// it, the run itself and the lines that list the rows it left.
namespace velmora {

// The kinds of refusal among `refused`, in a fixed order, for a question:
// "two rows given the same name, a subfolder that does not exist".
std::string RefusalKinds(const std::vector<CRenameStop>& refused);

// "4 of 6 new names would be refused (…)", `toRename` counting the refused.
std::string RefusedCountText(std::size_t refused, unsigned toRename,
                             const std::vector<CRenameStop>& stops);

// One line per refused row: "NAME -> NEW: why".
std::string RefusedRowLines(const std::vector<CRenameStop>& refused, const CListRows& rows);

// Runs the rename over every row to rename but those of `refused`, which
// keep their names and their status, as a run that does not rename them
// would find them; the outcome lists them after its own text.
CRenameOutcome RunRenameLeavingRefused(const std::string& folder, CListRows& rows,
                                       const std::vector<CRenameStop>& refused,
                                       CRenameObserver* observer, const CJournalStore* journals,
                                       const std::vector<CJournalClock>& clocks,
                                       const CRunChoices& choices);

} // namespace velmora
