#pragma once

#include "devices.h"
#include "found_date.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

class CJpegFile;

namespace velmora {

// Fills a folder's device table as its files are read: each file's device
// gets an index (0: the unknown device), its stored clock offset, its count,
// its first and last date as read, and the dates that tell about its clock.
// The files of a device that fall in a stored span get an entry of their
// own, with that span's offset.
class CDeviceCollector {
public:
    // Each device met takes its offset from `clocks`, by its key, which
    // must outlive the collector.
    CDeviceCollector(CDeviceTable& table, const CClockOffsets& clocks);

    // The index of the entry of the file `reader` has read, whose own date
    // as read is `wallMillis` (none for a file dated by no clock of its
    // device); counts the file.
    std::uint16_t Add(const CJpegFile& reader, std::optional<std::int64_t> wallMillis);
    // A dated file of device `index`: its date as read (milliseconds of the
    // date as written), its own zone (kNoOffset when none) and its GPS time.
    void AddDate(std::uint16_t index, std::int64_t wallMillis, std::int16_t zone,
                 const CFoundDate& gps);

private:
    std::uint16_t Index(const CJpegFile& reader);
    // The entry of device `base` whose stored span holds `wallMillis`.
    std::uint16_t SpanEntry(std::uint16_t base, std::int64_t wallMillis);

    CDeviceTable& m_table;
    const CClockOffsets& m_clocks;
    std::unordered_map<std::string, std::uint16_t> m_indices; // by key
    // The entries of stored spans, by device entry << 16 | span index.
    std::unordered_map<std::uint32_t, std::uint16_t> m_spanEntries;
    // The last file's device as read, and its index.
    bool m_last = false;
    std::string m_lastMake;
    std::string m_lastModel;
    std::string m_lastSerial;
    std::uint16_t m_lastIndex = 0;
};

} // namespace velmora
