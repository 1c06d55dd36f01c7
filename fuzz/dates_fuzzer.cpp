// libFuzzer entry point for the readers of dates outside a file's own date
// taken: the first byte picks the XMP packet scanner, the IPTC reader or the
// file-name patterns, the rest is their input. Whatever the bytes, a date
// that comes out is a valid calendar date with its parts in range.

#include "file_name_date.h"
#include "iptc_date.h"
#include "xmp_date.h"

#include <cstdint>
#include <string_view>

namespace {

using velmora::CFoundDate;
using velmora::DateSource;

bool Sound(const CFoundDate& date, DateSource first, DateSource last) {
    if (!date.Found())
        return true;
    const auto source = static_cast<std::uint8_t>(date.source);
    if (source < static_cast<std::uint8_t>(first) || source > static_cast<std::uint8_t>(last))
        return false;
    if (!velmora::ole::FromFields(date.fields) || date.nMillis < 0 || date.nMillis > 999)
        return false;
    if (date.HasOffset() && (date.nOffset < -14 * 60 - 59 || date.nOffset > 14 * 60 + 59))
        return false;
    // A day alone has no time, no fraction and no zone.
    const velmora::ole::DateFields& f = date.fields;
    return date.bTime || (f.hour == 0 && f.minute == 0 && f.second == 0 && date.nMillis == 0 &&
                          !date.HasOffset());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t* rest = data + 1;
    const std::size_t restSize = size - 1;
    const std::string_view text(reinterpret_cast<const char*>(rest), restSize);
    bool sound = true;
    switch (data[0] % 3) {
    case 0:
        sound =
            Sound(velmora::ParseXmpDate(text), DateSource::XmpOriginal, DateSource::XmpCreateDate);
        break;
    case 1:
        sound = Sound(velmora::ParseIptcDate(rest, restSize), DateSource::IptcCreated,
                      DateSource::IptcCreated);
        break;
    default: {
        const CFoundDate date = velmora::DateFromFileName(text);
        sound = Sound(date, DateSource::FileName, DateSource::FileName) && !date.HasOffset();
        break;
    }
    }
    if (!sound)
        __builtin_trap();
    return 0;
}
