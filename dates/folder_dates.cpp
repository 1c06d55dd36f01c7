#include "folder_dates.h"

#include "jpeg_file.h"
#include "string_table.h"

#include <algorithm>

namespace velmora {
namespace {

// The dates names can show: 1900-01-01 00:00:00 up to the end of 9999.
constexpr std::int64_t kFirstNamedMillis = -2208988800000;
constexpr std::int64_t kEndNamedMillis = 253402300800000;

bool Named(std::int64_t wallMillis) {
    return wallMillis >= kFirstNamedMillis && wallMillis < kEndNamedMillis;
}

// `row` moved from `before` to where it is now by its clock offset (`clock`)
// or its zone: none and why when that leaves the named years it was in.
CRowDate Checked(CRowDate row, std::int64_t before, bool clock) {
    if (Named(row.nWallMillis) || !Named(before))
        return row;
    const bool past = row.nWallMillis >= kEndNamedMillis;
    CRowDate none;
    none.nDevice = row.nDevice;
    none.nFaultId = clock ? (past ? IDS_CLOCK_PAST_9999 : IDS_CLOCK_BEFORE_1900)
                          : (past ? IDS_ZONE_PAST_9999 : IDS_ZONE_BEFORE_1900);
    return none;
}

} // namespace

std::int64_t AppliedClockOffset(const CDeviceTable& devices, std::uint16_t device,
                                DateSource source) {
    if (source == DateSource::None || IsUndatedSource(source) || device >= devices.size())
        return 0;
    return devices[device].nOffset;
}

CFolderDates::CFolderDates(std::string folder, UndatedDates undated, const CClockOffsets& clocks,
                           CDeviceTable* devices)
    : m_strFolder(std::move(folder)), m_undated(undated),
      m_table(devices != nullptr ? *devices : m_ownDevices), m_devices(m_table, clocks),
      m_takeout(m_strFolder) {}

CRowDate CFolderDates::Add(const CJpegFile& reader, bool read, std::string_view name) {
    CRowDate row;
    // A JPEG damaged after a whole EXIF block fails its read but keeps the
    // date it read.
    const CFoundDate date = read || reader.m_taken.Found()
                                ? ChooseDate(reader, m_strFolder, name, m_undated, &m_takeout)
                                : CFoundDate{};
    const bool ownDate = date.Found() && !IsUndatedSource(date.source);
    const std::int64_t wallMillis = date.Found() ? WallMillis(date) : 0;
    if (read || date.Found())
        row.nDevice = m_devices.Add(reader, ownDate ? std::optional(wallMillis) : std::nullopt);
    if (!date.Found())
        return row;
    row.source = date.source;
    row.nOffset = date.nOffset;
    row.nWallMillis = wallMillis;
    m_bMovies = m_bMovies || date.source == DateSource::TakeoutJson;
    if (!ownDate)
        return row;
    const bool movie = date.source == DateSource::MovieHeader;
    // The device learns the date as read; the name takes it corrected.
    m_devices.AddDate(row.nDevice, row.nWallMillis, movie ? kNoOffset : date.nOffset,
                      reader.m_gpsTime);
    row.nClockSeconds = m_table[row.nDevice].nOffset;
    row.nWallMillis += row.nClockSeconds * 1000;
    row = Checked(row, wallMillis, true);
    if (!row.Found())
        return row;
    m_bMovies = m_bMovies || movie;
    if (!movie && date.nOffset != kNoOffset)
        m_marks.push_back({row.nWallMillis - std::int64_t(date.nOffset) * 60000, date.nOffset});
    return row;
}

bool CFolderDates::Finish() {
    if (m_bMovies)
        std::sort(m_marks.begin(), m_marks.end(), [](const CZoneMark& a, const CZoneMark& b) {
            return a.nUtcMillis < b.nUtcMillis;
        });
    return m_bMovies;
}

CRowDate CFolderDates::Placed(const CRowDate& date) const {
    if (date.source != DateSource::MovieHeader && date.source != DateSource::TakeoutJson)
        return date;
    CRowDate placed = date;
    placed.nWallMillis = PlaceMovieTime(m_marks, date.nWallMillis, placed.source, placed.nOffset);
    return Checked(placed, date.nWallMillis, false);
}

std::string CFolderDates::DatingSidecarName(std::string_view name, DateSource source) {
    if (source == DateSource::TakeoutJson || source == DateSource::TakeoutJsonNearbyZone ||
        source == DateSource::TakeoutJsonComputerZone)
        return m_takeout.Find(name);
    return IsSidecarSource(source) ? velmora::DatingSidecarName(m_strFolder, name) : std::string();
}

} // namespace velmora
