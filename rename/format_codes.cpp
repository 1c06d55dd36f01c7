#include "format_codes.h"

namespace velmora {

std::string_view UnknownBraceCode(std::string_view format) {
    std::string_view unknown;
    ForEachBraceCode(format, [&](std::size_t start, std::size_t end, const BraceCode* code) {
        if (code == nullptr && unknown.empty())
            unknown = format.substr(start, end == std::string_view::npos ? end : end - start);
    });
    return unknown;
}

} // namespace velmora
