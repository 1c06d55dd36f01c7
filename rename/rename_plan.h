#pragma once

#include "list_rows.h"
#include "new_name_check.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The plan of a rename run: every change on disk, worked out before the first
// one by simulating the run over the rows and the folder's current names.
// Simulating first lets a run that must stop stop cleanly: it carries out
// only the steps up to the last point at which none of its files is under a
// temporary name, and it gives the journal every step in one write.
namespace velmora {

class CFolderHandle;

// One rename on disk: the file of row nRow (its companion nCompanion, or its
// own file for -1) goes from the name the row shows for it to its temporary
// name (bAside) or to its new name (column 1, or the companion's name after
// it). The names are the rows', not copies: a step costs 40 bytes, and the
// plan of 100,000 files less than their rows. The file must be `id`.
struct CRenameStep {
    int nRow = 0;
    int nCompanion = -1;
    bool bAside = false;          // a holder moved aside, renamed to its own name later
    bool bFinal = false;          // the last step of its row: the row is renamed
    bool bFirst = false;          // the file's first step: the journal lists files in this order
    std::uint64_t nTemporary = 0; // bAside: the temporary name's number (TemporaryName)
    CFileId id;
};

static_assert(sizeof(CRenameStep) <= 40);

// Why, and at which row, the run must stop.
struct CRenameStop {
    enum Kind {
        None,
        Refused, // the converted name may not be given (nFault says why)
        Taken,   // the name is held by a file the run does not rename later
        Error,   // the folder part of the name can't be reached (nError)
    };
    Kind kind = None;
    int nRow = -1;
    // Taken, or a file gone before the run: the row's companion whose step it
    // was (-1: the row's own file), and the name that file was to get. A
    // refused name is the format's fault and stays with the row's own file.
    int nCompanion = -1;
    std::string strTo;
    NameFault nFault = NameFault::None;
    int nError = 0;
    std::string strHolder;   // Taken: the file that holds the name, as it was listed
    bool bHeldByRun = false; // Taken: an earlier step of this run gave the holder that name
    int nHolderRow = -1;     // Taken: the holder's row, when a row of the list holds it
    // Error: the name's folder part could not be reached (strTo the name).
    bool bFolderPart = false;
};

struct CRenamePlan {
    std::vector<CRenameStep> steps;
    CRenameStop stop;
    // Folders the run creates before its first step, each relative to the
    // folder and after the folders it lies in; only with createFolders.
    std::vector<std::string> folders;
    // With createFolders: the rows whose new name is held by a file of the
    // same bytes. They stay where they are and the run goes on.
    std::vector<int> identical;
};

// Plans the run over the rows in RowToRename: in row order, each row's
// companions, then its file, go to their new names; a name held by a file of
// a later row still to be renamed is freed first by moving that file aside.
// A row is planned whole or not at all, so that a photo and its companions
// are never split. Rows without a known file identity get the one their name
// holds now, as do companions. With `createFolders` a folder part of a new
// name that does not exist is planned as folders to create (never through a
// symbolic link); without, it stops the run.
CRenamePlan PlanRename(const CFolderHandle& folder, CListRows& rows, bool createFolders = false);

// Every row the run would refuse, in row order, found by the same simulation
// going on past each refusal as if the refused row stayed where it is. Two
// rows given one name are both refused, each naming the other as its holder
// (the first holds it once the run gave it; the second is refused it).
std::vector<CRenameStop> FindRefusedRows(const CFolderHandle& folder, CListRows& rows,
                                         bool createFolders = false);

// Why the run would refuse the row, in one line for the row's tooltip.
std::string RefusalText(const CRenameStop& stop);

// The name the rows show for a file of row `row` (its companion `companion`,
// or its own file for -1): before a run, its name; during one, where it is.
std::string_view RowFileName(const CListRow& row, int companion);

// The new name of that file: column 1, or for a companion the new stem and
// its extension in `listed`, its name before the run.
std::string NewFileName(const CListRow& row, int companion, std::string_view listed);

} // namespace velmora
