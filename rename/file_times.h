#pragma once

#include "list_rows.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A renamed file's modification time set to the date it is named after: the
// times of a plan's files read before the run, for its journal, and the new
// time given once the files are at their new names. The access time stays.
namespace velmora {

class CFolderHandle;
struct CPlanResult;
struct CRenameStep;

// The moment a row's date stands for, in whole seconds as its name shows
// it: in the row's zone offset where known, else in local time.
std::optional<std::int64_t> NamedMoment(const CListRow& row);

// The times of each file of the plan, in journal order (a file at its first
// step), read before the run; nothing for a file whose status can't be read.
std::vector<std::optional<CFileTimes>> PlanFileTimes(const CFolderHandle& folder,
                                                     const CListRows& rows,
                                                     const std::vector<CRenameStep>& steps);

// Gives the files the run kept (the first result.nFilesTouched of its
// journal), each still the file of its step, the modification time of its
// row's date. The stamps in `result` follow, so that the journal's end
// tells the files as the run leaves them. The lines of the files whose time
// could not be set.
std::string SetNamedTimes(const CFolderHandle& folder, const CListRows& rows,
                          const std::vector<CRenameStep>& steps, CPlanResult& result);

} // namespace velmora
