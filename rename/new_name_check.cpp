#include "new_name_check.h"

namespace velmora {

NameFault CheckNewName(std::string_view name) {
    if (name.empty() || name.front() == '/')
        return NameFault::LeavesFolder;
    std::string_view rest = name;
    for (;;) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (part.empty() || part == "." || part == "..")
            return NameFault::LeavesFolder;
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    // `rest` is the file name; its extension starts at its last ".". A
    // folder part may start with one: it names a folder that exists.
    if (rest.front() != '.')
        return NameFault::None;
    return rest.rfind('.') == 0 ? NameFault::NoFileName : NameFault::Hidden;
}

const char* NameFaultText(NameFault fault) {
    switch (fault) {
    case NameFault::LeavesFolder:
        return "The new name would leave the folder";
    case NameFault::NoFileName:
        return "The new name has no file name before its extension";
    case NameFault::ThroughLink:
        return "The new name leads through a symbolic link";
    case NameFault::Hidden:
        return "The new name starts with a dot, which would hide the file";
    case NameFault::None:
        break;
    }
    return "";
}

} // namespace velmora
