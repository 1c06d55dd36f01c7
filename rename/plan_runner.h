#pragma once

#include "list_rows.h"
#include "rename_plan.h"
#include "rename_run.h"

#include <optional>
#include <string>
#include <vector>

// Carrying out a planned run, shared by the rename and the undo: each step
// only after checking that its name still holds the file the list was made
// from, the rows following the disk, and a stop taking the steps back to
// where no file is under a temporary name.
namespace velmora {

class CFolderHandle;
struct CJournal;
struct CFolderKey;

// The outcome of a run that ran into a failure on disk, or nothing when every
// step was carried out. `renamed` is set either way; `stranded` tells that
// taking steps back failed, so that files are left under temporary names and
// the run did not end cleanly.
std::optional<CRenameOutcome> ExecutePlan(const CFolderHandle& folder, CListRows& rows,
                                          const std::vector<CRenameStep>& steps,
                                          CRenameObserver* observer, int& renamed, bool& stranded);

// The journal of a plan: each file once, in the order of its first step,
// with its name before, its temporary name if it goes aside, and its name
// after.
CJournal PlanJournal(const std::string& folder, const CFolderKey& key, const CListRows& rows,
                     const std::vector<CRenameStep>& steps);

// Message parts every stop shares.
std::string ErrorText(int error);
std::string Tally(int renamed);
std::string Arrow(std::string_view from, std::string_view to);
CRenameOutcome Outcome(CRenameOutcome::Kind kind, std::string text, const char* caption,
                       bool errorIcon, int renamed);
CRenameOutcome Stopped(const std::string& reason, const std::string& files, int renamed,
                       const std::string& tally);

} // namespace velmora
