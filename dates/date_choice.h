#pragma once

#include "found_date.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CJpegFile;

namespace velmora {
class CTakeoutSidecars;
}

// The date one file is listed by, among the dates its reader found and those
// its name, sidecar and file time offer; CFolderDates adds what the rest of
// the folder tells (clock offsets, the zones of movies).
namespace velmora {

// What a file without a date taken of its own is dated by.
enum class UndatedDates : std::uint8_t {
    None,  // nothing: it is listed as undated
    Names, // its XMP (sidecar, then embedded), IPTC, then a date in its name
    Files, // as Names, then its modification time
};

// "none", "names", "files", and back; nullopt for any other text.
std::string_view UndatedDatesName(UndatedDates undated);
std::optional<UndatedDates> UndatedDatesFromName(std::string_view name);

// The date `reader` (after reading `name` of `folder`) is listed by: the
// file's own date taken; else, as `undated` allows, an XMP sidecar of the
// file ("NAME.EXT.xmp", "NAME.xmp"), its Takeout JSON sidecar (from
// `takeout`, the folder's), the file's XMP packet, its IPTC date, a PNG's
// creation time, a date in its name (a source with a time of day before one
// with a date only), then the file's modification time. Source None when
// there is none. A movie header's date and a Takeout time come back in UTC
// (sources MovieHeader, TakeoutJson), for the folder's date decision
// (CFolderDates) to place.
CFoundDate ChooseDate(const CJpegFile& reader, const std::string& folder, std::string_view name,
                      UndatedDates undated, CTakeoutSidecars* takeout = nullptr);

// The name of the sidecar ChooseDate reads for `name` of `folder` (the
// first of "NAME.EXT.xmp", "NAME.xmp" that holds bytes); empty when none does.
std::string DatingSidecarName(const std::string& folder, std::string_view name);

// A date as one number: milliseconds since 1970-01-01 00:00 of its fields
// read in no zone; and back to calendar fields (whole seconds).
std::int64_t WallMillis(const CFoundDate& date);
std::optional<ole::DateFields> WallFields(std::int64_t millis);

// A UTC moment and the zone offset a file recorded for it.
struct CZoneMark {
    std::int64_t nUtcMillis;
    std::int16_t nOffset; // minutes east of UTC
};

// The place of a movie header's UTC time (`utcMillis`) among the dates of
// the folder: in the zone of the mark nearest to it within 12 hours (marks
// sorted by time), else in the computer's zone. Returns the wall-clock
// millis, and sets `source` (MovieHeaderNearbyZone or
// MovieHeaderComputerZone) and `offset`.
std::int64_t PlaceMovieTime(const std::vector<CZoneMark>& marks, std::int64_t utcMillis,
                            DateSource& source, std::int16_t& offset);

// Whether the date came from outside the file's own date-taken places (XMP,
// IPTC, its name, its file time): only the undated-files choice uses them,
// and the window marks their rows.
bool IsUndatedSource(DateSource source);

// Whether the date came from a sidecar of the file (XMP, Takeout JSON).
bool IsSidecarSource(DateSource source);

} // namespace velmora
