#pragma once

#include "list_rows.h"

#include <string>

// The rename run: every row in RowToRename is renamed inside the folder from
// column 0 to column 1, never overwriting a file. A wanted name held by a file
// of a later row is freed by moving that file aside under a temporary name.
namespace velmora {

// Told of every change on disk as it happens.
class CRenameObserver {
public:
    virtual ~CRenameObserver() = default;
    virtual void OnRenamed(const std::string& from, const std::string& to) = 0;
    virtual void OnMovedAside(const std::string& from, const std::string& temporary) = 0;
};

// What the window shows at the end of a run.
struct CRenameOutcome {
    enum Kind {
        NoItems,     // nothing to rename; nothing was touched
        AllRenamed,  // every counted row renamed
        SomeRenamed, // some, not all
        NoneRenamed, // the loop renamed nothing
        ErrorRename, // stopped at a failure; the text is its description
    };
    Kind kind = NoItems;
    std::string strText;
    std::string strCaption;
    bool bErrorIcon = false;
    int nRenamed = 0;
};

// Runs the rename over `rows` (columns 0 and 1, statuses) in `folder`.
// `renameCount` is the number of rows name generation counted; 0 means there
// is nothing to do. Rows are updated as files are renamed or moved aside.
CRenameOutcome RunRename(const std::string& folder, CListRows& rows, unsigned renameCount,
                         CRenameObserver* observer = nullptr);

} // namespace velmora
