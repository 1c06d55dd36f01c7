#pragma once

#include "extension_case.h"
#include "list_rows.h"
#include "name_values.h"

#include <string>

// Name generation over the rows: the converted name of every dated row from
// the format, with the row's index as counter, and its status.
namespace velmora {

constexpr const char* kDefaultFormat = "Img%Y%m%d_%H%M%S_%C";

// Rewrites column 1 and the status of every row in RowToRename or RowNamed
// (other rows are left alone) and returns how many rows a rename would change.
// The extensions, the companions' too, are cased as `extension` says; a name
// that differs in the case of its extension alone is to rename.
// Long lists are shared out among the cores; it returns when all are named.
// The value codes take the rows' devices, lenses and folder from `facts`;
// without them they give their fixed words (a row's own name excepted).
unsigned UpdateConvertedNames(CListRows& rows, const std::string& format,
                              const CNameFacts* facts = nullptr,
                              ExtensionCase extension = ExtensionCase::Keep);

} // namespace velmora
