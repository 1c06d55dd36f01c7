#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The case the extensions of new names take: as the file has it, or in lower
// or upper case. Companions follow the choice, their inner extension too
// (IMG_1.CR2.xmp becomes NEW.cr2.xmp in lower case).
namespace velmora {

enum class ExtensionCase : std::uint8_t { Keep, Lower, Upper };

// "keep", "lower" and "upper": the stored and the terminal's names.
std::string_view ExtensionCaseName(ExtensionCase choice);
std::optional<ExtensionCase> ExtensionCaseFromName(std::string_view name);

// Cases the bytes of `name` from `start` on. Only ASCII letters change: an
// extension of other letters stays as the file has it.
void CaseExtension(std::string& name, std::size_t start, ExtensionCase choice);

} // namespace velmora
