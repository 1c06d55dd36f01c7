#include "found_date.h"

#include <cstdio>

namespace velmora {
namespace {

struct CSourceNames {
    DateSource source;
    std::string_view id;
    std::string_view text;
};

constexpr CSourceNames kSourceNames[] = {
    {DateSource::None, "none", "none"},
    {DateSource::ExifOriginal, "exif-original", "EXIF DateTimeOriginal"},
    {DateSource::ExifDateTime, "exif-datetime", "EXIF DateTime"},
    {DateSource::ExifDigitized, "exif-digitized", "EXIF DateTimeDigitized"},
    {DateSource::AppleKey, "quicktime-creationdate", "the movie's creation-date key"},
    {DateSource::MovieHeader, "movie-header", "the movie header (UTC), in this computer's zone"},
    {DateSource::AviDateTime, "avi-idit", "the AVI date (IDIT)"},
    {DateSource::AviCreated, "avi-icrd", "the AVI creation date (ICRD)"},
    {DateSource::AvchdDateTime, "avchd-mdpm", "the AVCHD stream's date"},
    {DateSource::CrwTimeStamp, "crw-timestamp", "the CRW time stamp"},
    {DateSource::XmpOriginal, "xmp-original", "XMP exif:DateTimeOriginal"},
    {DateSource::XmpDateCreated, "xmp-datecreated", "XMP photoshop:DateCreated"},
    {DateSource::XmpCreateDate, "xmp-createdate", "XMP xmp:CreateDate"},
    {DateSource::IptcCreated, "iptc-created", "IPTC date and time created"},
    {DateSource::FileName, "file-name", "the file name"},
    {DateSource::FileTime, "file-time", "the file's modification time"},
    {DateSource::MovieHeaderNearbyZone, "movie-header-nearby-zone",
     "the movie header (UTC), in the zone of the photos taken near it"},
    {DateSource::MovieHeaderComputerZone, "movie-header-computer-zone",
     "the movie header (UTC), in this computer's zone"},
    {DateSource::SidecarOriginal, "sidecar-original", "XMP sidecar exif:DateTimeOriginal"},
    {DateSource::SidecarDateCreated, "sidecar-datecreated", "XMP sidecar photoshop:DateCreated"},
    {DateSource::SidecarCreateDate, "sidecar-createdate", "XMP sidecar xmp:CreateDate"},
    {DateSource::GpsTime, "gps-time", "the GPS time (UTC)"},
    {DateSource::PngCreationTime, "png-creation-time", "the PNG creation time"},
    {DateSource::MovieDay, "mp4-day", "the movie's day text (\u00A9day)"},
    {DateSource::X3fTime, "x3f-time", "the X3F capture time"},
    {DateSource::TakeoutJson, "takeout-json-utc", "the Takeout JSON sidecar (UTC)"},
    {DateSource::TakeoutJsonNearbyZone, "takeout-json-nearby-zone",
     "the Takeout JSON sidecar (UTC), in the zone of the photos taken near it"},
    {DateSource::TakeoutJsonComputerZone, "takeout-json",
     "the Takeout JSON sidecar (UTC), in this computer's zone"},
};

const CSourceNames& NamesOf(DateSource source) {
    for (const CSourceNames& names : kSourceNames) {
        if (names.source == source)
            return names;
    }
    return kSourceNames[0];
}

bool StartsNoCase(std::string_view text, std::string_view word) {
    if (text.size() < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if ((text[i] | 0x20) != (word[i] | 0x20))
            return false;
    }
    return true;
}

// Up to `most` digits at the front of `text`, taken off it; -1 for none.
int TakeNumber(std::string_view& text, std::size_t most) {
    int value = 0;
    std::size_t n = 0;
    while (n < most && n < text.size() && text[n] >= '0' && text[n] <= '9')
        value = value * 10 + (text[n++] - '0');
    text.remove_prefix(n);
    return n == 0 ? -1 : value;
}

bool TakeChar(std::string_view& text, char c) {
    if (text.empty() || text.front() != c)
        return false;
    text.remove_prefix(1);
    return true;
}

void TakeBlanks(std::string_view& text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
}

// "[Www, ]DD Mon YYYY HH:MM[:SS] [zone]", the form of mail and web dates.
CFoundDate ParseMailDate(std::string_view text, DateSource source) {
    static constexpr std::string_view kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                   "jul", "aug", "sep", "oct", "nov", "dec"};
    TakeBlanks(text);
    if (const std::size_t comma = text.find(','); comma != std::string_view::npos && comma <= 9)
        text.remove_prefix(comma + 1);
    TakeBlanks(text);
    CFoundDate date;
    ole::DateFields& f = date.fields;
    f.day = TakeNumber(text, 2);
    TakeBlanks(text);
    for (int m = 0; m < 12 && f.month == 0; ++m) {
        if (StartsNoCase(text, kMonths[m]))
            f.month = m + 1;
    }
    if (f.day < 0 || f.month == 0)
        return {};
    text.remove_prefix(3);
    TakeBlanks(text);
    f.year = TakeNumber(text, 4);
    TakeBlanks(text);
    f.hour = TakeNumber(text, 2);
    if (!TakeChar(text, ':') || (f.minute = TakeNumber(text, 2)) < 0)
        return {};
    if (TakeChar(text, ':') && (f.second = TakeNumber(text, 2)) < 0)
        return {};
    TakeBlanks(text);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\0'))
        text.remove_suffix(1);
    if (text == "GMT" || text == "UT" || text == "UTC" || text == "Z") {
        date.nOffset = 0;
    } else if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        date.nOffset = ParseOffsetText(text);
        if (date.nOffset == kNoOffset)
            return {};
    } else {
        for (const char c : text) {
            if (!(c >= 'A' && c <= 'Z'))
                return {};
        }
    }
    if (f.year < 0 || f.hour < 0 || !ole::FromFields(f))
        return {};
    date.source = source;
    date.bTime = true;
    return date;
}

} // namespace

CFoundDate ParseCreationTimeText(std::string_view text, DateSource source) {
    text = text.substr(0, text.find('\0'));
    const CFoundDate date = ParseDateText(text, source);
    return date.Found() ? date : ParseMailDate(text, source);
}

std::string_view DateSourceId(DateSource source) {
    return NamesOf(source).id;
}

std::string_view DateSourceText(DateSource source) {
    return NamesOf(source).text;
}

std::string DateFieldsText(const std::optional<ole::DateFields>& f) {
    if (!f)
        return {};
    char text[32];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", f->year, f->month, f->day,
                  f->hour, f->minute, f->second);
    return text;
}

std::string OffsetText(std::int16_t offset) {
    if (offset == kNoOffset)
        return {};
    const int minutes = offset < 0 ? -offset : offset;
    char text[16];
    std::snprintf(text, sizeof(text), "%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60,
                  minutes % 60);
    return text;
}

} // namespace velmora
