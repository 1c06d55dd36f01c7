#pragma once

#include "devices.h"
#include "found_date.h"

#include <cstdint>
#include <string>
#include <unordered_map>

class CJpegFile;

namespace velmora {

// Fills a folder's device table as its files are read: each file's device
// gets an index (0: the unknown device), its stored clock offset, its count,
// its first and last date as read, and the dates that tell about its clock.
class CDeviceCollector {
public:
    // Each device met takes its offset from `clocks`, by its key, which
    // must outlive the collector.
    CDeviceCollector(CDeviceTable& table, const CClockOffsets& clocks);

    // The index of the device of the file `reader` has read; counts the file.
    std::uint16_t Add(const CJpegFile& reader);
    // A dated file of device `index`: its date as read (milliseconds of the
    // date as written), its own zone (kNoOffset when none) and its GPS time.
    void AddDate(std::uint16_t index, std::int64_t wallMillis, std::int16_t zone,
                 const CFoundDate& gps);

private:
    std::uint16_t Index(const CJpegFile& reader);

    CDeviceTable& m_table;
    const CClockOffsets& m_clocks;
    std::unordered_map<std::string, std::uint16_t> m_indices; // by key
    // The last file's device as read, and its index.
    bool m_last = false;
    std::string m_lastMake;
    std::string m_lastModel;
    std::string m_lastSerial;
    std::uint16_t m_lastIndex = 0;
};

} // namespace velmora
