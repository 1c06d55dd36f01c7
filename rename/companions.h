#pragma once

#include "extension_case.h"

#include <string>
#include <string_view>

// Files that belong to a photo and follow its rename: a raw file or video of
// the same name stem (RAW+JPEG pairs, Live Photos), and sidecars in both
// common forms (IMG_1.xmp and IMG_1.CR2.xmp). A companion takes its photo's
// new stem and keeps its own extension.
namespace velmora {

// True for the sidecar extensions: .xmp .aae .thm .pp3 .dop, any case.
bool IsSidecarName(std::string_view name);

// Where a name's extension starts: at its last ".", or for a sidecar of the
// form IMG_1.CR2.xmp at the "." before the photo's own extension. The size
// of the name when it has none.
std::size_t ExtensionStart(std::string_view name);

// The name a companion gets when its photo's new name is `converted`: the new
// stem (`converted` without its extension) and the companion's extension,
// cased as `extension` says.
std::string CompanionTarget(std::string_view converted, std::string_view companion,
                            ExtensionCase extension = ExtensionCase::Keep);
// The same into `target`, whose buffer a pass over many rows reuses.
void AssignCompanionTarget(std::string& target, std::string_view converted,
                           std::string_view companion,
                           ExtensionCase extension = ExtensionCase::Keep);

// True when a file named `current` is already named `target`: the same name
// ignoring case, and the extension (as ExtensionStart finds it) the same byte
// for byte, so that a change of the extension's case alone is a rename.
bool AlreadyNamed(std::string_view current, std::string_view target);

} // namespace velmora
