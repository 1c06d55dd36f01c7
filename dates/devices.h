#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The devices of a folder (cameras, phones), the clock offset stored for
// each, and the offsets proposed to line their clocks up.
namespace velmora {

// A device as its files name it: make, model and, where the file has one,
// the body's serial number. All blank: the unknown device.
struct CDeviceId {
    std::string strMake;
    std::string strModel;
    std::string strSerial;

    // Some part holds more than blanks and control bytes.
    bool Known() const;
    // The text users see and type, on one line: "Canon EOS 6D", "Canon EOS
    // 6D #012345", "Device #012345" (a serial alone), "Unknown device". The
    // model alone when it starts with the make or the make's first word
    // ("NIKON CORPORATION", "NIKON D750").
    std::string Text() const;
    // The key its offset is stored under: DeviceKeyOfText(Text()), so that a
    // device typed as it prints finds its offset without a scan; empty for
    // the unknown device, which never takes an offset (its files may come
    // from many devices). A folder's files are grouped by it.
    std::string Key() const;
    bool operator==(const CDeviceId&) const = default;
};

constexpr std::string_view kUnknownDevice = "Unknown device";

// The key of a device's text: blank runs as one, trimmed, ASCII letters in
// lower case (makes are written in either case, and a settings file on some
// systems ignores case), and '%', '/', '\\' and bytes beyond ASCII as %xx
// (a settings key must not hold them, or may not give them back).
std::string DeviceKeyOfText(std::string_view text);

// What one dated file tells about its device's clock.
struct CClockSample {
    std::int64_t nWallMillis = 0;           // the date taken as read (no offset applied)
    std::int16_t nZone = INT16_MIN;         // its own zone offset in minutes; INT16_MIN: none
    std::int64_t nGpsUtcMillis = INT64_MIN; // its GPS date and time (UTC); INT64_MIN: none
};

// A stored clock offset and the span of the device's own dates (as read,
// before any offset) it holds for: a camera's clock error changes each time
// its clock is set, so an offset found on one trip says nothing of others.
struct CClockSpan {
    std::int64_t nOffset = 0;       // seconds
    std::int64_t nFrom = INT64_MIN; // first date it holds for, ms of the date as written
    std::int64_t nTo = INT64_MAX;   // last, inclusive
    bool Bounded() const { return nFrom != INT64_MIN || nTo != INT64_MAX; }
    bool Holds(std::int64_t wallMillis) const { return wallMillis >= nFrom && wallMillis <= nTo; }
    bool operator==(const CClockSpan&) const = default;
};

// A device's stored offsets, in the order they were stored.
using CClockSpans = std::vector<CClockSpan>;

// The offset that holds for `wallMillis`: the narrowest span that holds it
// (a trip within a longer stretch wins), the later one of equals; nullptr
// when none does.
const CClockSpan* SpanAt(const CClockSpans& spans, std::int64_t wallMillis);

// `spans` with `span` stored: it takes the place of one with the same
// bounds; an offset of 0 removes that one instead.
void StoreSpan(CClockSpans& spans, const CClockSpan& span);

// A span as the settings keep it: "OFFSET" for every date, else
// "OFFSET|FROM|TO" with the dates as "YYYY-MM-DD HH:MM:SS", either empty when
// open. Read back with ParseClockSpan; a bare whole number of seconds (how
// offsets were stored before they had spans) is read as every date.
std::string ClockSpanValue(const CClockSpan& span);
std::optional<CClockSpan> ParseClockSpan(std::string_view value);

// "every date", "from 2024-05-01 08:00:00", "2024-05-01 08:00:00 to
// 2024-05-09 19:00:00", "to ...": the dates a span holds for, as users read it.
std::string SpanText(const CClockSpan& span);
// "YYYY-MM-DD HH:MM:SS" of the second `millis` (a date as written) falls in.
std::string SpanDateText(std::int64_t millis);

// A date typed for a span's end, in the device's own time: "YYYY-MM-DD" or
// "YYYY-MM-DD HH:MM:SS". A start is the first millisecond of the day or
// second given, an end (`start` false) its last. nullopt for anything else.
std::optional<std::int64_t> ParseSpanDate(std::string_view text, bool start);

// One device of a scanned folder, or the files of one device that fall in
// one of its stored spans: a device whose files fall in several spans (or
// some in one and some in none) has an entry for each, so that each entry
// has one offset.
struct CDevice {
    CDeviceId id;
    int nFiles = 0;
    // First and last date taken as read, milliseconds of the date as written
    // (INT64_MAX / INT64_MIN while none).
    std::int64_t nFirst = INT64_MAX;
    std::int64_t nLast = INT64_MIN;
    std::int64_t nOffset = 0; // seconds applied to its files' dates in this scan
    // The stored span nOffset comes from; none when no stored offset holds
    // for the entry's files.
    std::optional<CClockSpan> span;
    // Every offset stored for the device, for the windows to show.
    CClockSpans stored;
    // The files that carry a zone or a GPS time, for the proposals.
    std::vector<CClockSample> samples;
};

// Index 0 is the unknown device; the others in the order first met.
using CDeviceTable = std::vector<CDevice>;

// Stored offsets, by CDeviceId::Key().
using CClockOffsets = std::map<std::string, CClockSpans>;

// What the settings must keep once the entries of `devices` were given
// `offsets` (one per entry) in a window: for each device with an entry whose
// offset changed, its stored spans with that change. An entry's offset holds
// for the stored span it came from, else for its files' dates as read, first
// to last (whole seconds): the trip the folder holds, not every date.
CClockOffsets ChangedClocks(const CDeviceTable& devices, const std::vector<std::int64_t>& offsets);

// The largest offset, either way, in seconds: 1000 hours.
constexpr std::int64_t kMaxClockOffset = 1000 * 3600;

// "+1:05:00", "-0:03:00": signed, hours without padding.
std::string OffsetSecondsText(std::int64_t seconds);
// Reads "[+|-]h[:mm[:ss]]" ("+1:05:00", "-0:03", "2"), blanks around
// allowed; nullopt for anything else, or beyond 1000 hours.
std::optional<std::int64_t> ParseOffsetSeconds(std::string_view text);

// The reference device: the one with the most files that carry a zone
// offset or a GPS time (usually the phone); the first of equals; 0 when no
// file of a known device carries either (the unknown device is never one).
std::size_t ReferenceDevice(const CDeviceTable& devices);

// A reference's zones by UTC moment, for the proposals.
struct CZoneAt {
    std::int64_t nUtcMillis;
    std::int16_t nZone;
};

// The offsets proposed against one reference device; its zones are sorted
// once, however many devices ask.
class COffsetProposals {
public:
    COffsetProposals(const CDeviceTable& devices, std::size_t reference);

    // The offset proposed for `device` against the reference, in seconds:
    // (a) from its files' GPS times: the clock error is the date taken less its
    // zone (its own, else the reference's zone nearest that moment) less the GPS
    // time, proposed negated when at least 1 s and spread under 2 s over the
    // files; (b) else from a zone its files record that differs from the
    // reference's at the same moment (a camera left on home time): the
    // difference, the one most of its files show; (c) else none. The
    // reference's zone at a moment is that of its file nearest in UTC. None for
    // the unknown device and the reference itself.
    std::optional<std::int64_t> For(std::size_t device) const;

private:
    const CDeviceTable& m_devices;
    std::size_t m_nReference;
    std::vector<CZoneAt> m_zones;
};

} // namespace velmora
