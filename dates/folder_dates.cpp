#include "folder_dates.h"

#include "jpeg_file.h"

#include <algorithm>

namespace velmora {

std::int64_t AppliedClockOffset(const CDeviceTable& devices, std::uint16_t device,
                                DateSource source) {
    if (source == DateSource::None || IsUndatedSource(source) || device >= devices.size())
        return 0;
    return devices[device].nOffset;
}

CFolderDates::CFolderDates(std::string folder, UndatedDates undated, const CClockOffsets& clocks,
                           CDeviceTable* devices)
    : m_strFolder(std::move(folder)), m_undated(undated),
      m_table(devices != nullptr ? *devices : m_ownDevices), m_devices(m_table, clocks) {}

CRowDate CFolderDates::Add(const CJpegFile& reader, bool read, std::string_view name) {
    CRowDate row;
    // A JPEG damaged after a whole EXIF block fails its read but keeps the
    // date it read.
    const CFoundDate date = read || reader.m_taken.Found()
                                ? ChooseDate(reader, m_strFolder, name, m_undated)
                                : CFoundDate{};
    if (read || date.Found())
        row.nDevice = m_devices.Add(reader);
    if (!date.Found())
        return row;
    row.source = date.source;
    row.nOffset = date.nOffset;
    row.nWallMillis = WallMillis(date);
    if (IsUndatedSource(date.source))
        return row;
    const bool movie = date.source == DateSource::MovieHeader;
    // The device learns the date as read; the name takes it corrected.
    m_devices.AddDate(row.nDevice, row.nWallMillis, movie ? kNoOffset : date.nOffset,
                      reader.m_gpsTime);
    row.nClockSeconds = m_table[row.nDevice].nOffset;
    row.nWallMillis += row.nClockSeconds * 1000;
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
    if (date.source != DateSource::MovieHeader)
        return date;
    CRowDate placed = date;
    placed.nWallMillis = PlaceMovieTime(m_marks, date.nWallMillis, placed.source, placed.nOffset);
    return placed;
}

} // namespace velmora
