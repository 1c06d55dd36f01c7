#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

// Decodes the UTF-8 sequence that starts at s[i] into `code`. Returns its
// length in bytes, or 0 when no valid sequence starts there (overlong forms,
// surrogates and values past U+10FFFF are invalid). ASCII bytes are 1.
std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& code);

void AppendUtf8(std::string& out, char32_t code);

} // namespace velmora
