#pragma once

#include "journal.h"
#include "list_rows.h"

#include <string>
#include <vector>

// The folders a run's files leave empty, removed once the files are gone:
// only folders inside the photo folder, never the photo folder itself, never
// through a link, each journaled before it goes so that an undo can make it
// again. A folder that holds anything at all is kept.
namespace velmora {

class CFolderHandle;
struct CRenameStep;

// The folders a plan's files leave (the folder parts of their names before
// the run) and the folders those lie in, never the photo folder: where the
// run may leave a folder empty. Read before the run, deepest first.
std::vector<std::string> LeftFolders(const CListRows& rows, const std::vector<CRenameStep>& steps);

// Removes each of `folders` (deepest first) that holds nothing now but
// folders removed before it; all of them are journaled in `journalPath`
// (unless it is empty) in one synced write before the first goes, and none
// goes when that fails. Lines for the folders that could not go but were
// empty.
std::string RemoveEmptiedFolders(const CFolderHandle& folder,
                                 const std::vector<std::string>& folders,
                                 const std::string& journalPath);

// Makes the folders an undone run removed again, before its files go back
// into them: the outermost first, each with its mode and times. A folder
// that exists again is left as it is.
void RemakeRemovedFolders(const CFolderHandle& folder,
                          const std::vector<CJournal::CRemovedFolder>& removed);

} // namespace velmora
