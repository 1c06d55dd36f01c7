#pragma once

#include <string_view>

// Whether a converted name may be given to a file: it must stay inside the
// folder and leave the file visible. A folder part may name a subfolder.
namespace velmora {

enum class NameFault {
    None,
    LeavesFolder, // absolute, or an empty, "." or ".." part
    NoFileName,   // nothing before the extension: the file would be hidden
    ThroughLink,  // a folder part is a symbolic link (found on disk, not here)
    Hidden,       // the file name starts with ".": file managers would hide it
};

NameFault CheckNewName(std::string_view name);

// The first line of the message that refuses a name for `fault`.
const char* NameFaultText(NameFault fault);

} // namespace velmora
