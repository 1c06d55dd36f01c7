#pragma once

#include "list_rows.h"

#include <cstdint>
#include <span>

// The clash suffix of a name format ("%{n}"): nothing for the first row that
// gets a name, "-1", "-2", ... for each later row, in list order, whose name
// would be the same ignoring case. A row already named a form of its name
// keeps it, so that a folder listed again after a run proposes no change,
// gaps left by removed files included; every other row takes the lowest
// suffix that gives a name no other row bears or is given.
namespace velmora {

// Gives the named rows (RowToRename, RowNamed) their suffixes. Column 1 holds
// each row's bare name (every "%{n}" as nothing) and `clashAt` the offsets in
// it of the format's `clashCount` codes, row by row; column 1 gets the name
// with its suffix. Statuses are left to the caller.
void AssignClashSuffixes(CListRows& rows, std::span<const std::uint32_t> clashAt,
                         std::size_t clashCount);

} // namespace velmora
