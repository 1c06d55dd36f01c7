#pragma once

#include <string>
#include <string_view>

// File names compared the way users see them: ignoring case, for every
// alphabet UTF-8 can spell. Bytes that are not valid UTF-8 are compared as
// they are, with ASCII letters folded.
namespace velmora {

// The case-folded form of a name; two names are equal ignoring case exactly
// when their folded forms are equal.
std::string FoldCase(std::string_view name);

bool EqualNoCase(std::string_view a, std::string_view b);

} // namespace velmora
