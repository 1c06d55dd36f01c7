#include "date_choice.h"

#include "file_name_date.h"
#include "file_stream.h"
#include "jpeg_file.h"
#include "takeout_sidecar.h"
#include "xmp_date.h"

#include <algorithm>
#include <ctime>

namespace velmora {
namespace {

constexpr std::int64_t kMillisPerSecond = 1000;
constexpr std::int64_t kNearbyMillis = 12 * 3600 * kMillisPerSecond;
// A sidecar is a few kilobytes; a larger file is not read further.
constexpr std::size_t kMaxSidecarBytes = 1024 * 1024;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

// A regular file's first bytes, at most `limit`; empty when there is none.
// The stream never opens a FIFO or device named like a sidecar.
std::string ReadSmallFile(const std::string& path, std::size_t limit) {
    CFileStream file;
    if (!file.Open(path.c_str()))
        return {};
    std::string bytes(std::min<std::uint64_t>(file.Size(), limit), '\0');
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    return bytes;
}

DateSource AsSidecar(DateSource source) {
    switch (source) {
    case DateSource::XmpOriginal:
        return DateSource::SidecarOriginal;
    case DateSource::XmpDateCreated:
        return DateSource::SidecarDateCreated;
    case DateSource::XmpCreateDate:
        return DateSource::SidecarCreateDate;
    default:
        return source;
    }
}

// The file's XMP sidecar: "NAME.EXT.xmp" or "NAME.xmp", either case of the
// extension, the first that holds bytes. Its name stays empty without one.
struct CSidecar {
    std::string strName;
    std::string strPacket;
};

CSidecar FindSidecar(const std::string& folder, std::string_view name) {
    const std::size_t dot = name.rfind('.');
    const std::string_view stem = name.substr(0, dot);
    const std::string base = folder.empty() ? std::string() : folder + '/';
    CSidecar sidecar;
    for (const std::string_view start : {name, stem}) {
        for (const char* extension : {".xmp", ".XMP"}) {
            sidecar.strName.assign(start).append(extension);
            sidecar.strPacket = ReadSmallFile(base + sidecar.strName, kMaxSidecarBytes);
            if (!sidecar.strPacket.empty())
                return sidecar;
        }
        if (dot == std::string_view::npos)
            break;
    }
    return {};
}

CFoundDate SidecarDate(const std::string& folder, std::string_view name) {
    const CSidecar sidecar = FindSidecar(folder, name);
    if (sidecar.strName.empty())
        return {};
    CFoundDate date = ParseXmpDate(sidecar.strPacket);
    date.source = AsSidecar(date.source);
    return date;
}

CFoundDate FileTimeDate(std::time_t seconds) {
    std::tm tm{};
    if (localtime_r(&seconds, &tm) == nullptr)
        return {};
    CFoundDate date;
    date.fields = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    date.source = DateSource::FileTime;
    date.bTime = true;
    date.nOffset = static_cast<std::int16_t>(tm.tm_gmtoff / 60);
    return date;
}

} // namespace

std::string_view UndatedDatesName(UndatedDates undated) {
    switch (undated) {
    case UndatedDates::Names:
        return "names";
    case UndatedDates::Files:
        return "files";
    case UndatedDates::None:
        break;
    }
    return "none";
}

std::optional<UndatedDates> UndatedDatesFromName(std::string_view name) {
    for (const UndatedDates undated :
         {UndatedDates::None, UndatedDates::Names, UndatedDates::Files}) {
        if (name == UndatedDatesName(undated))
            return undated;
    }
    return std::nullopt;
}

CFoundDate ChooseDate(const CJpegFile& reader, const std::string& folder, std::string_view name,
                      UndatedDates undated, CTakeoutSidecars* takeout) {
    if (InDatedYears(reader.m_taken))
        return reader.m_taken;
    if (InDatedYears(reader.m_takenInYears))
        return reader.m_takenInYears;
    if (undated == UndatedDates::None)
        return {};
    CFoundDate best = SidecarDate(folder, name);
    if (takeout != nullptr && !(best.Found() && best.bTime))
        best = PreferDate(best, takeout->Date(name));
    best = PreferDate(best, reader.m_xmpDate);
    best = PreferDate(best, reader.m_iptcDate);
    best = PreferDate(best, reader.m_creationTime);
    // A row of a subfolder is named by its path: the date is in its own name.
    best = PreferDate(best, DateFromFileName(name.substr(name.rfind('/') + 1)));
    if (InDatedYears(best))
        return best;
    if (undated == UndatedDates::Files && reader.m_info.m_fileTime != 0) {
        const CFoundDate date = FileTimeDate(reader.m_info.m_fileTime);
        if (InDatedYears(date))
            return date;
    }
    return {};
}

std::int64_t WallMillis(const CFoundDate& date) {
    return ole::SecondsOf(date.fields) * kMillisPerSecond + date.nMillis;
}

std::optional<ole::DateFields> WallFields(std::int64_t millis) {
    return ole::FieldsOf(FloorDiv(millis, kMillisPerSecond));
}

std::int64_t PlaceMovieTime(const std::vector<CZoneMark>& marks, std::int64_t utcMillis,
                            DateSource& source, std::int16_t& offset) {
    const auto after = std::lower_bound(
        marks.begin(), marks.end(), utcMillis,
        [](const CZoneMark& mark, std::int64_t value) { return mark.nUtcMillis < value; });
    const CZoneMark* nearest = nullptr;
    std::int64_t distance = kNearbyMillis + 1;
    if (after != marks.end()) {
        nearest = &*after;
        distance = after->nUtcMillis - utcMillis;
    }
    if (after != marks.begin() && utcMillis - std::prev(after)->nUtcMillis <= distance) {
        nearest = &*std::prev(after);
        distance = utcMillis - nearest->nUtcMillis;
    }
    const bool takeout = source == DateSource::TakeoutJson;
    if (nearest != nullptr && distance <= kNearbyMillis) {
        source = takeout ? DateSource::TakeoutJsonNearbyZone : DateSource::MovieHeaderNearbyZone;
        offset = nearest->nOffset;
        return utcMillis + std::int64_t(offset) * 60 * kMillisPerSecond;
    }
    source = takeout ? DateSource::TakeoutJsonComputerZone : DateSource::MovieHeaderComputerZone;
    const std::time_t seconds = static_cast<std::time_t>(FloorDiv(utcMillis, kMillisPerSecond));
    std::tm tm{};
    offset = localtime_r(&seconds, &tm) != nullptr ? static_cast<std::int16_t>(tm.tm_gmtoff / 60)
                                                   : std::int16_t(0);
    return utcMillis + std::int64_t(offset) * 60 * kMillisPerSecond;
}

std::string DatingSidecarName(const std::string& folder, std::string_view name) {
    return FindSidecar(folder, name).strName;
}

bool IsSidecarSource(DateSource source) {
    return source == DateSource::SidecarOriginal || source == DateSource::SidecarDateCreated ||
           source == DateSource::SidecarCreateDate || source == DateSource::TakeoutJson ||
           source == DateSource::TakeoutJsonNearbyZone ||
           source == DateSource::TakeoutJsonComputerZone;
}

bool IsUndatedSource(DateSource source) {
    switch (source) {
    case DateSource::XmpOriginal:
    case DateSource::XmpDateCreated:
    case DateSource::XmpCreateDate:
    case DateSource::IptcCreated:
    case DateSource::FileName:
    case DateSource::FileTime:
    case DateSource::SidecarOriginal:
    case DateSource::SidecarDateCreated:
    case DateSource::SidecarCreateDate:
    case DateSource::PngCreationTime:
    case DateSource::TakeoutJson:
    case DateSource::TakeoutJsonNearbyZone:
    case DateSource::TakeoutJsonComputerZone:
        return true;
    default:
        return false;
    }
}

} // namespace velmora
