#pragma once

#include <string_view>

// The codes in braces a name format may hold beside the strftime letters:
// "%{make}", "%{n}", ... . A "%{" that starts none of them is an unknown code,
// which the window flags and the terminal refuses.
namespace velmora {

enum class BraceCode {
    Make,   // %{make}: the file's camera make
    Model,  // %{model}
    Device, // %{device}: make and model as Camera Clocks shows them, no serial
    Lens,   // %{lens}: LensModel
    Name,   // %{name}: the file's current name without its extension
    Folder, // %{folder}: the name of the file's folder
    Clash,  // %{n}: nothing for the first file of a name, -1, -2, ... for the next
    Day,    // %{day}: a counter per calendar day, from 000
};

struct CBraceCodeName {
    std::string_view name; // between the braces
    BraceCode code;
};

inline constexpr CBraceCodeName kBraceCodes[] = {
    {"make", BraceCode::Make}, {"model", BraceCode::Model}, {"device", BraceCode::Device},
    {"lens", BraceCode::Lens}, {"name", BraceCode::Name},   {"folder", BraceCode::Folder},
    {"n", BraceCode::Clash},   {"day", BraceCode::Day},
};

// The code named `name` (between the braces); nullptr for none.
inline const BraceCode* BraceCodeNamed(std::string_view name) {
    for (const CBraceCodeName& entry : kBraceCodes) {
        if (entry.name == name)
            return &entry.code;
    }
    return nullptr;
}

// Calls `found(start, end, code)` for each "%{...}" of `format`, `end` one
// past its "}" and `code` nullptr for a name that is no code; a "%{" without
// its "}" ends the walk, calling `found(start, npos, nullptr)`. "%%" and the
// strftime letters take the byte after them, so "%%{x}" is text.
template <typename Found> void ForEachBraceCode(std::string_view format, const Found& found) {
    for (std::size_t i = 0; i + 1 < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        if (format[i + 1] != '{') {
            ++i;
            continue;
        }
        const std::size_t close = format.find('}', i + 2);
        if (close == std::string_view::npos) {
            found(i, std::string_view::npos, nullptr);
            return;
        }
        found(i, close + 1, BraceCodeNamed(format.substr(i + 2, close - i - 2)));
        i = close;
    }
}

// The first "%{...}" of `format` that is no known code, braces included (a
// "%{" without its "}" up to the end); empty when there is none. "%%{x}" is
// the text "%{x}", not a code.
std::string_view UnknownBraceCode(std::string_view format);

} // namespace velmora
