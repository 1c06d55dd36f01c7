#pragma once

#include "list_rows.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Files of the same bytes: the same photo copied into two folders of a tree,
// or already placed where a run would put it. They are recognised, never
// removed.
namespace velmora {

// True when the regular files `a` and `b`, relative to the open folder
// `folder`, hold the same bytes: sizes first, then the contents. A name that
// is no regular file (a link, a FIFO) is never opened for reading.
bool SameBytes(int folder, const std::string& a, const std::string& b);

// Marks the byte-identical copies among the dated rows of `rows` (in listing
// order, before they are sorted): all but the first of each set of files of
// one date and the same bytes become RowDuplicate, column 1 naming the first.
// Only files of one date taken are compared, and only those of one size read.
// Returns how many were marked.
std::size_t MarkIdenticalCopies(int folder, CListRows& rows);

// Column 1 of a copy of `original` that the list leaves where it is.
std::string IdenticalText(std::string_view original);

// The name of the file a copy (RowDuplicate) holds the bytes of, as its
// column 1 names it, before a run or after one found it already there.
std::string_view OriginalOfCopy(const CListRow& copy);

// Each copy among `rows` with the row of its original; -1 when no row of
// the list is named so (a file the list leaves out).
std::vector<std::pair<int, int>> CopiesWithOriginals(const CListRows& rows);

} // namespace velmora
