#include "device_table.h"

#include "date_choice.h"
#include "jpeg_file.h"

#include <algorithm>

namespace velmora {
namespace {

// Beyond this many devices in one folder the rest count as unknown: the
// index is 16 bits wide.
constexpr std::size_t kMaxDevices = UINT16_MAX;

std::string Trimmed(const char* text) {
    std::string_view view(text);
    while (!view.empty() && (view.back() == ' ' || view.back() == '\0'))
        view.remove_suffix(1);
    while (!view.empty() && view.front() == ' ')
        view.remove_prefix(1);
    return std::string(view);
}

} // namespace

CDeviceCollector::CDeviceCollector(CDeviceTable& table, const CClockOffsets& clocks)
    : m_table(table), m_clocks(clocks) {
    m_table.assign(1, CDevice{});
}

std::uint16_t CDeviceCollector::Add(const CJpegFile& reader,
                                    std::optional<std::int64_t> wallMillis) {
    // A folder's files come mostly from one device in long runs: the last
    // file's device answers without building its key.
    const std::string& make = reader.m_strMake;
    const std::string& model = reader.m_strModel;
    if (!m_last || m_lastMake != make || m_lastModel != model ||
        m_lastSerial != reader.m_strSerial) {
        m_last = true;
        m_lastMake = make;
        m_lastModel = model;
        m_lastSerial = reader.m_strSerial;
        m_lastIndex = Index(reader);
    }
    const std::uint16_t index =
        wallMillis && m_table[m_lastIndex].stored.size() > (m_table[m_lastIndex].span ? 1u : 0u)
            ? SpanEntry(m_lastIndex, *wallMillis)
            : m_lastIndex;
    ++m_table[index].nFiles;
    return index;
}

std::uint16_t CDeviceCollector::SpanEntry(std::uint16_t base, std::int64_t wallMillis) {
    const CClockSpans& stored = m_table[base].stored;
    const CClockSpan* span = SpanAt(stored, wallMillis);
    if (span == nullptr || !span->Bounded())
        return base; // the device's own entry holds the files outside its spans
    const auto key =
        static_cast<std::uint32_t>(base) << 16 |
        static_cast<std::uint32_t>(std::min<std::size_t>(span - stored.data(), 0xFFFF));
    const auto [found, added] =
        m_spanEntries.try_emplace(key, static_cast<std::uint16_t>(m_table.size()));
    if (added) {
        if (m_table.size() >= kMaxDevices) {
            found->second = base;
        } else {
            CDevice entry;
            entry.id = m_table[base].id;
            entry.stored = stored;
            entry.span = *span;
            entry.nOffset = span->nOffset;
            m_table.push_back(std::move(entry));
        }
    }
    return found->second;
}

std::uint16_t CDeviceCollector::Index(const CJpegFile& reader) {
    CDeviceId id{Trimmed(reader.m_strMake.c_str()), Trimmed(reader.m_strModel.c_str()),
                 Trimmed(reader.m_strSerial.c_str())};
    std::uint16_t index = 0;
    if (id.Known()) {
        const auto [found, added] =
            m_indices.try_emplace(id.Key(), static_cast<std::uint16_t>(m_table.size()));
        if (added && m_table.size() < kMaxDevices) {
            m_table.push_back(CDevice{});
            m_table.back().id = std::move(id);
            // Known before the device's first date: that date is named with it.
            // Its own entry takes the offset for every date, where one is stored.
            if (const auto stored = m_clocks.find(found->first); stored != m_clocks.end()) {
                CDevice& device = m_table.back();
                device.stored = stored->second;
                for (const CClockSpan& span : device.stored) {
                    if (!span.Bounded())
                        device.span = span;
                }
                device.nOffset = device.span ? device.span->nOffset : 0;
            }
        } else if (added) {
            found->second = 0;
        }
        index = found->second;
    }
    return index;
}

void CDeviceCollector::AddDate(std::uint16_t index, std::int64_t wallMillis, std::int16_t zone,
                               const CFoundDate& gps) {
    CDevice& device = m_table[index];
    device.nFirst = std::min(device.nFirst, wallMillis);
    device.nLast = std::max(device.nLast, wallMillis);
    const bool hasGps = gps.Found();
    if (zone == kNoOffset && !hasGps)
        return;
    CClockSample sample;
    sample.nWallMillis = wallMillis;
    sample.nZone = zone;
    if (hasGps)
        sample.nGpsUtcMillis = WallMillis(gps);
    device.samples.push_back(sample);
}

} // namespace velmora
