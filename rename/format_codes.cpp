#include "format_codes.h"

namespace velmora {

std::string_view UnknownBraceCode(std::string_view format) {
    for (std::size_t i = 0; i + 1 < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        if (format[i + 1] != '{') {
            ++i; // "%%" and the strftime letters take the byte after them
            continue;
        }
        const std::size_t close = format.find('}', i + 2);
        const std::string_view code = format.substr(
            i, close == std::string_view::npos ? std::string_view::npos : close - i + 1);
        if (close == std::string_view::npos)
            return code;
        const std::string_view name = format.substr(i + 2, close - i - 2);
        bool known = false;
        for (const CBraceCodeName& entry : kBraceCodes)
            known = known || entry.name == name;
        if (!known)
            return code;
        i = close;
    }
    return {};
}

} // namespace velmora
