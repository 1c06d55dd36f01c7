#pragma once

#include "found_date.h"

#include <string_view>

namespace velmora {

// The date and time a file's name states, by the naming patterns of cameras,
// phones and messengers known to put them there (file_name_date.cpp lists
// them). `name` is the file name with its extension, no folders. Source
// FileName; bTime false for names that give a day only; nMillis from the
// patterns that carry milliseconds. The time is the one written in the name:
// no zone is applied. None for any other name, and for impossible dates.
CFoundDate DateFromFileName(std::string_view name);

} // namespace velmora
