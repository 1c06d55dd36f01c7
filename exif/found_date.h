#pragma once

#include "ole_date.h"

#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A date as one place of a file states it, and which place that is. The
// readers fill these; the date choice (dates/) picks among them.
namespace velmora {

// Where a date came from. The values are stored in the rows: append only.
enum class DateSource : std::uint8_t {
    None = 0,
    ExifOriginal,            // EXIF DateTimeOriginal
    ExifDateTime,            // EXIF DateTime (IFD0)
    ExifDigitized,           // EXIF DateTimeDigitized
    AppleKey,                // QuickTime key com.apple.quicktime.creationdate
    MovieHeader,             // mvhd creation time, UTC (the choice decides its zone)
    AviDateTime,             // AVI IDIT
    AviCreated,              // AVI INFO ICRD (date only)
    AvchdDateTime,           // MDPM of an AVCHD stream's H.264 data
    CrwTimeStamp,            // CRW TimeStamp
    XmpOriginal,             // XMP exif:DateTimeOriginal
    XmpDateCreated,          // XMP photoshop:DateCreated
    XmpCreateDate,           // XMP xmp:CreateDate
    IptcCreated,             // IPTC 2:55 DateCreated and 2:60 TimeCreated
    FileName,                // a date in the file's own name
    FileTime,                // the file's modification time
    MovieHeaderNearbyZone,   // mvhd time shown in the zone of nearby photos
    MovieHeaderComputerZone, // mvhd time shown in the computer's zone
    SidecarOriginal,         // exif:DateTimeOriginal of an XMP sidecar
    SidecarDateCreated,
    SidecarCreateDate,
    GpsTime,                 // EXIF GPSDateStamp and GPSTimeStamp, UTC
    PngCreationTime,         // PNG text "Creation Time"
    MovieDay,                // MP4/3GP user data text ©day, with its offset
    X3fTime,                 // the TIME property of an X3F file, camera clock
    TakeoutJson,             // photoTakenTime of a Takeout JSON sidecar, UTC (placed later)
    TakeoutJsonNearbyZone,   // that time shown in the zone of nearby photos
    TakeoutJsonComputerZone, // that time shown in the computer's zone
};

constexpr std::int16_t kNoOffset = INT16_MIN;

struct CFoundDate {
    ole::DateFields fields; // as written: the device's wall clock (UTC for MovieHeader)
    DateSource source = DateSource::None;
    bool bTime = false;               // the text gave a time of day (else 00:00:00)
    std::int16_t nOffset = kNoOffset; // minutes east of UTC, when the file says
    std::int16_t nMillis = 0;         // fraction of the second, 0..999

    bool Found() const { return source != DateSource::None; }
    bool HasOffset() const { return nOffset != kNoOffset; }
};

// The years a listed date may have: what names can carry, and what the
// calendar arithmetic of the names covers.
constexpr int kFirstDatedYear = 1900;
constexpr int kLastDatedYear = 9999;

inline bool InDatedYears(const CFoundDate& date) {
    return date.Found() && date.fields.year >= kFirstDatedYear &&
           date.fields.year <= kLastDatedYear;
}

// Reads a date text: "YYYY-MM-DD", optionally followed by "T" or blanks and
// "HH:MM[:SS[.fraction]]", optionally followed by "Z", "+HH:MM", "+HHMM" or
// "+HH" (or "-"); blanks around allowed. The EXIF form "YYYY:MM:DD ..." is
// read too. None (source None) for anything else.
CFoundDate ParseDateText(std::string_view text, DateSource source);

// Reads a PNG "Creation Time" text: the form of ParseDateText, or the mail
// form "[Sat, ]02 Feb 2019 10:15:08 +0100" ("GMT", "UT", "Z" for UTC; a zone
// named otherwise gives no offset). None for anything else.
CFoundDate ParseCreationTimeText(std::string_view text, DateSource source);

// Reads a zone offset text, "+HH:MM" (or "Z", "+HHMM", "+HH"); blanks
// around allowed. kNoOffset for anything else ("   :  " is unknown).
std::int16_t ParseOffsetText(std::string_view text);

// A short fixed identifier of each source ("exif-original", "file-name",
// ...), and the words the windows use for it.
std::string_view DateSourceId(DateSource source);
std::string_view DateSourceText(DateSource source);

// "YYYY-MM-DD HH:MM:SS"; empty for no fields.
std::string DateFieldsText(const std::optional<ole::DateFields>& fields);

// "+02:00", "-05:30": an offset in minutes as text; empty for kNoOffset.
std::string OffsetText(std::int16_t offset);

// Of two dates from places ranked `first` before `second`: the first that
// gives a time of day, else the first found.
inline const CFoundDate& PreferDate(const CFoundDate& first, const CFoundDate& second) {
    if (first.Found() && (first.bTime || !second.Found() || !second.bTime))
        return first;
    return second.Found() ? second : first;
}

} // namespace velmora
