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

// One device of a scanned folder.
struct CDevice {
    CDeviceId id;
    int nFiles = 0;
    // First and last date taken as read, milliseconds of the date as written
    // (INT64_MAX / INT64_MIN while none).
    std::int64_t nFirst = INT64_MAX;
    std::int64_t nLast = INT64_MIN;
    std::int64_t nOffset = 0; // seconds applied to its files' dates in this scan
    // The files that carry a zone or a GPS time, for the proposals.
    std::vector<CClockSample> samples;
};

// Index 0 is the unknown device; the others in the order first met.
using CDeviceTable = std::vector<CDevice>;

// Stored offsets, by CDeviceId::Key(), in seconds.
using CClockOffsets = std::map<std::string, std::int64_t>;

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

// The offset proposed for `device` against `reference`, in seconds:
// (a) from its files' GPS times: the clock error is the date taken less its
// zone (its own, else the reference's zone nearest that moment) less the GPS
// time, proposed negated when at least 1 s and spread under 2 s over the
// files; (b) else from a zone its files record that differs from the
// reference's at the same moment (a camera left on home time): the
// difference, the one most of its files show; (c) else none. The
// reference's zone at a moment is that of its file nearest in UTC. None for
// the unknown device and the reference itself.
std::optional<std::int64_t> ProposeOffset(const CDeviceTable& devices, std::size_t device,
                                          std::size_t reference);

} // namespace velmora
