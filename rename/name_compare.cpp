#include "name_compare.h"

#include "utf8.h"

#include <clocale>
#include <cstdint>
#include <cstring>
#include <cwctype>
#include <locale.h>

namespace velmora {
namespace {

// Eight bytes at a time: every row's names are checked on every keystroke.
bool IsAscii(std::string_view s) {
    std::uint64_t bits = 0;
    std::size_t i = 0;
    for (; s.size() - i >= sizeof(bits); i += sizeof(bits)) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, sizeof(word));
        bits |= word;
    }
    for (; i < s.size(); ++i)
        bits |= static_cast<unsigned char>(s[i]);
    return (bits & 0x8080808080808080u) == 0;
}

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Unicode case mapping from the C library's UTF-8 locale, whatever the
// process's own locale is; null when the system has none.
locale_t Utf8Locale() {
    static const locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        return l != static_cast<locale_t>(0)
                   ? l
                   : newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(0));
    }();
    return locale;
}

} // namespace

std::string FoldCase(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    const locale_t locale = Utf8Locale();
    for (std::size_t i = 0; i < name.size();) {
        const auto byte = static_cast<unsigned char>(name[i]);
        char32_t code = 0;
        const std::size_t length = byte < 0x80 ? 0 : DecodeUtf8(name, i, code);
        if (length == 0) { // ASCII, or a byte that is not UTF-8
            out += FoldAscii(name[i]);
            ++i;
            continue;
        }
        if (locale != static_cast<locale_t>(0))
            code = static_cast<char32_t>(towlower_l(static_cast<wint_t>(code), locale));
        AppendUtf8(out, code);
        i += length;
    }
    return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    // Most names are plain ASCII: compare them without building folded copies.
    if (IsAscii(a) && IsAscii(b)) {
        if (a.size() != b.size())
            return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (FoldAscii(a[i]) != FoldAscii(b[i]))
                return false;
        }
        return true;
    }
    return FoldCase(a) == FoldCase(b);
}

} // namespace velmora
