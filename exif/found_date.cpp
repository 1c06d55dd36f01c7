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
};

const CSourceNames& NamesOf(DateSource source) {
    for (const CSourceNames& names : kSourceNames) {
        if (names.source == source)
            return names;
    }
    return kSourceNames[0];
}

} // namespace

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
