#include "extension_case.h"

namespace velmora {
namespace {

constexpr std::string_view kNames[] = {"keep", "lower", "upper"};

} // namespace

std::string_view ExtensionCaseName(ExtensionCase choice) {
    return kNames[static_cast<std::size_t>(choice)];
}

std::optional<ExtensionCase> ExtensionCaseFromName(std::string_view name) {
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
        if (kNames[i] == name)
            return static_cast<ExtensionCase>(i);
    }
    return std::nullopt;
}

void CaseExtension(std::string& name, std::size_t start, ExtensionCase choice) {
    if (choice == ExtensionCase::Keep)
        return;
    const bool lower = choice == ExtensionCase::Lower;
    for (std::size_t i = start; i < name.size(); ++i) {
        const char c = name[i];
        if (lower && c >= 'A' && c <= 'Z')
            name[i] = static_cast<char>(c - 'A' + 'a');
        else if (!lower && c >= 'a' && c <= 'z')
            name[i] = static_cast<char>(c - 'a' + 'A');
    }
}

} // namespace velmora
