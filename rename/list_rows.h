#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The rows of a two-column list: the one working state of the main window.
// The scan fills them, name generation rewrites column 1 and the statuses, the
// rename run rewrites column 0; the list view only shows them.

// A main-list row's image index is its status.
enum RowStatus : int {
    RowToRename = 0,   // dated, converted name differs from the current one
    RowNamed = 1,      // dated, already so named (ignoring case)
    RowUnreadable = 2, // the reader failed; column 1 holds its error text
    RowNoDate = 3,     // read, but no usable date; column 1 says so
};

struct CListRow {
    std::string strText[2]; // column 0 and column 1
    int nImage = 0;         // RowStatus in the main list
    // Date value (seconds since 1970) for dated rows, else the row's position
    // when it was inserted.
    std::int64_t nData = 0;
};

using CListRows = std::vector<CListRow>;
