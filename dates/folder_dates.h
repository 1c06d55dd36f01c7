#pragma once

#include "date_choice.h"
#include "device_table.h"
#include "devices.h"
#include "found_date.h"
#include "takeout_sidecar.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CJpegFile;

// The date decision of one folder: each file's date among its own sources
// and the fallbacks, its device, that device's clock offset, and the zone of
// a movie that gives only UTC, taken from the folder's other files. The scan
// hands it each file's facts in listing order and stores what comes back.
namespace velmora {

// A file's date as its folder decides it: what a dated row of the list holds.
struct CRowDate {
    // The date the file is named by (WallMillis), its clock offset applied.
    std::int64_t nWallMillis = 0;
    DateSource source = DateSource::None;
    std::int16_t nOffset = kNoOffset; // the zone that belongs to the date
    std::uint16_t nDevice = 0;        // index in the folder's device table
    std::int64_t nClockSeconds = 0;   // the clock offset in nWallMillis
    // Why a date the file gives names nothing (a string id; 0: none): its
    // clock offset or its zone moves it out of the years 1900 to 9999.
    int nFaultId = 0;

    bool Found() const { return source != DateSource::None; }
    // The date as the file gives it, in its zone: before the clock offset.
    std::int64_t FileWallMillis() const { return nWallMillis - nClockSeconds * 1000; }
};

// The clock offset (seconds) that applies to a date of `source` from device
// `device`: the device's, for the dates a file gives of itself; 0 for names,
// file times and the other fallbacks, which are no device's clock.
std::int64_t AppliedClockOffset(const CDeviceTable& devices, std::uint16_t device,
                                DateSource source);

class CFolderDates {
public:
    // The files of `folder` (sidecars are looked for there), dated as
    // `undated` allows, with the offsets of `clocks`; `devices`, when given,
    // receives the folder's devices (else the decision keeps its own).
    CFolderDates(std::string folder, UndatedDates undated, const CClockOffsets& clocks,
                 CDeviceTable* devices = nullptr);
    CFolderDates(const CFolderDates&) = delete;
    CFolderDates& operator=(const CFolderDates&) = delete;

    // Whether the reader is to look for the dates that only undated files use.
    bool WantsHints() const { return m_undated != UndatedDates::None; }

    // The file `name` that `reader` read last, `read` telling whether the
    // read succeeded: its device and its date (source None when it has none).
    // A movie that gives only UTC comes back in UTC, source MovieHeader,
    // until Placed. A date its clock offset moves out of the named years
    // comes back as none, with nFaultId.
    CRowDate Add(const CJpegFile& reader, bool read, std::string_view name);

    // After the last file: whether some dates wait for the whole folder, to
    // be asked again through Placed.
    bool Finish();
    // A date Add gave, placed in the folder: a movie's UTC time in the zone
    // that the files taken nearest to it recorded, else in the computer's;
    // none, with nFaultId, when that zone moves it out of the named years.
    CRowDate Placed(const CRowDate& date) const;

    const CDeviceTable& Devices() const { return m_table; }

    // The names of the folder's Takeout sidecars, from a listing at hand.
    void SetTakeoutNames(const std::vector<std::string>& names) { m_takeout.SetNames(names); }

    // The sidecar that gave file `name` its date of `source`: its XMP or its
    // Takeout JSON sidecar; empty for other sources or when there is none.
    std::string DatingSidecarName(std::string_view name, DateSource source);

private:
    const std::string m_strFolder;
    const UndatedDates m_undated;
    CDeviceTable m_ownDevices;
    CDeviceTable& m_table;
    CDeviceCollector m_devices;
    // The UTC moments and zones of the dated files that record a zone, for
    // the movies; sorted by Finish.
    std::vector<CZoneMark> m_marks;
    bool m_bMovies = false; // some UTC time waits for the marks (a movie's, a Takeout time)
    CTakeoutSidecars m_takeout;
};

} // namespace velmora
