// libFuzzer entry point for the Takeout sidecars: the input is read as a
// sidecar's bytes and taken as a photo's name. Whatever the bytes, a time
// that comes out is a valid UTC date, and every name the export may have
// given the photo's sidecar is a JSON name that holds the photo's extension.

#include "takeout_sidecar.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const velmora::CFoundDate date = velmora::ParseTakeoutJson(bytes);
    if (date.Found() && (date.source != velmora::DateSource::TakeoutJson || date.nOffset != 0 ||
                         !velmora::ole::FromFields(date.fields)))
        __builtin_trap();
    const std::string_view name = bytes.substr(0, 256);
    std::vector<std::string> names;
    velmora::TakeoutSidecarNames(name, names);
    for (const std::string& sidecar : names) {
        if (!velmora::IsTakeoutSidecarName(sidecar))
            __builtin_trap();
    }
    const std::string original = velmora::TakeoutOriginalName(name);
    if (!original.empty() && original.size() >= name.size())
        __builtin_trap();
    return 0;
}
