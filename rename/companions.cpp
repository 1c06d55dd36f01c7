#include "companions.h"

#include "image_type.h"
#include "name_compare.h"
#include "takeout_sidecar.h"

namespace velmora {
namespace {

constexpr std::string_view kSidecarExtensions[] = {"xmp", "aae", "thm", "pp3", "dop"};

} // namespace

bool IsSidecarName(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return false;
    const std::string_view extension = name.substr(dot + 1);
    for (const std::string_view sidecar : kSidecarExtensions) {
        if (EqualNoCase(extension, sidecar))
            return true;
    }
    return false;
}

std::size_t ExtensionStart(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return name.size();
    if (IsSidecarName(name)) {
        // IMG_1.CR2.xmp: the photo's extension goes with the sidecar's.
        const std::string_view inner = name.substr(0, dot);
        const std::size_t innerDot = inner.rfind('.');
        if (innerDot != std::string_view::npos && innerDot > 0 && ImageTypeOf(inner) != nullptr)
            return innerDot;
    }
    return dot;
}

std::string CompanionTarget(std::string_view converted, std::string_view companion,
                            ExtensionCase extension) {
    std::string target;
    AssignCompanionTarget(target, converted, companion, extension);
    return target;
}

void AssignCompanionTarget(std::string& target, std::string_view converted,
                           std::string_view companion, ExtensionCase extension) {
    const std::size_t dot = converted.rfind('.');
    const std::size_t slash = converted.rfind('/');
    const bool hasExtension =
        dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash);
    target.assign(converted.substr(0, hasExtension ? dot : converted.size()));
    const std::size_t stem = target.size();
    if (IsTakeoutSidecarName(companion) && !IsSidecarName(companion)) {
        // A Takeout sidecar, whichever of the export's forms it had, takes
        // the form the export writes first: the photo's whole name + ".json".
        target.assign(converted).append(".json");
        CaseExtension(target, stem, extension);
        return;
    }
    target += companion.substr(ExtensionStart(companion));
    CaseExtension(target, stem, extension);
}

bool AlreadyNamed(std::string_view current, std::string_view target) {
    return EqualNoCase(current, target) &&
           current.substr(ExtensionStart(current)) == target.substr(ExtensionStart(target));
}

} // namespace velmora
