#include "devices.h"

#include "date_choice.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace velmora {
namespace {

// A proposal from GPS times needs a clock error of at least this much and
// its files to agree within less than the spread.
constexpr std::int64_t kMinErrorMillis = 1000;
constexpr std::int64_t kMaxSpreadMillis = 2000;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// `text` with control bytes as blanks, blank runs as one and no blank at
// either end: a device name prints on one line and is typed as it prints.
std::string Tidy(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        const bool blank = b < 0x20 || b == 0x7F || c == ' ';
        if (!blank)
            out += c;
        else if (!out.empty() && out.back() != ' ')
            out += ' ';
    }
    if (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithWord(std::string_view text, std::string_view word) {
    if (word.empty() || text.size() < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (AsciiLower(text[i]) != AsciiLower(word[i]))
            return false;
    }
    return text.size() == word.size() || text[word.size()] == ' ';
}

// A field of digits only, within `max`.
bool ParseDigits(std::string_view text, std::int64_t& value, std::int64_t max) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && text[0] != '-' && error == std::errc() && stop == end && value <= max;
}

// Reference samples that carry a zone, by their UTC moment, for the zone
// "at the moment" of another device's file.
std::vector<CZoneAt> ZonesOf(const CDevice& device) {
    std::vector<CZoneAt> zones;
    for (const CClockSample& sample : device.samples) {
        if (sample.nZone != INT16_MIN)
            zones.push_back({sample.nWallMillis - sample.nZone * 60000LL, sample.nZone});
    }
    std::sort(zones.begin(), zones.end(),
              [](const CZoneAt& a, const CZoneAt& b) { return a.nUtcMillis < b.nUtcMillis; });
    return zones;
}

// The zone of the sample nearest `utcMillis`, within 12 hours of it (a zone
// recorded further away says nothing of that moment); INT16_MIN when there
// is none.
std::int16_t ZoneNearest(const std::vector<CZoneAt>& zones, std::int64_t utcMillis) {
    constexpr std::int64_t kNearMillis = 12 * 3600 * 1000LL;
    const auto after =
        std::lower_bound(zones.begin(), zones.end(), utcMillis,
                         [](const CZoneAt& zone, std::int64_t t) { return zone.nUtcMillis < t; });
    const CZoneAt* nearest = after != zones.end() ? &*after : nullptr;
    if (after != zones.begin() && (nearest == nullptr || utcMillis - std::prev(after)->nUtcMillis <=
                                                             nearest->nUtcMillis - utcMillis))
        nearest = &*std::prev(after);
    if (nearest == nullptr || std::llabs(nearest->nUtcMillis - utcMillis) > kNearMillis)
        return INT16_MIN;
    return nearest->nZone;
}

// (a): the clock error of each file with a GPS time; nothing when none has
// one. An empty proposal inside means the errors allow none.
std::optional<std::optional<std::int64_t>> ProposeFromGps(const CDevice& device,
                                                          const std::vector<CZoneAt>& zones) {
    std::vector<std::int64_t> errors;
    bool anyGps = false;
    for (const CClockSample& sample : device.samples) {
        if (sample.nGpsUtcMillis == INT64_MIN)
            continue;
        anyGps = true;
        const std::int16_t zone =
            sample.nZone != INT16_MIN ? sample.nZone : ZoneNearest(zones, sample.nGpsUtcMillis);
        // Without a zone the wall clock can't be compared with UTC.
        if (zone != INT16_MIN)
            errors.push_back(sample.nWallMillis - zone * 60000LL - sample.nGpsUtcMillis);
    }
    if (!anyGps)
        return std::nullopt;
    if (errors.empty())
        return std::optional<std::int64_t>();
    const auto [low, high] = std::minmax_element(errors.begin(), errors.end());
    if (*high - *low >= kMaxSpreadMillis)
        return std::optional<std::int64_t>();
    // Summed as distances from the lowest, which stay small.
    std::int64_t sum = 0;
    for (const std::int64_t error : errors)
        sum += error - *low;
    const std::int64_t mean = *low + sum / static_cast<std::int64_t>(errors.size());
    if (std::llabs(mean) < kMinErrorMillis || std::llabs(mean) > kMaxClockOffset * 1000)
        return std::optional<std::int64_t>();
    // Whole seconds, rounded half away from zero.
    return std::optional<std::int64_t>(-(mean + (mean < 0 ? -500 : 500)) / 1000);
}

// (b): the difference between the reference's zone and the one the
// device's files record at the same moment, the one most of them show.
std::optional<std::int64_t> ProposeFromZones(const CDevice& device,
                                             const std::vector<CZoneAt>& zones) {
    std::map<int, int> counts; // difference in minutes -> files
    int best = 0;
    int bestCount = 0;
    for (const CClockSample& sample : device.samples) {
        if (sample.nZone == INT16_MIN)
            continue;
        const std::int16_t reference =
            ZoneNearest(zones, sample.nWallMillis - sample.nZone * 60000LL);
        if (reference == INT16_MIN)
            return std::nullopt;
        const int difference = reference - sample.nZone;
        const int count = ++counts[difference];
        if (count > bestCount) {
            best = difference;
            bestCount = count;
        }
    }
    if (bestCount == 0 || best == 0)
        return std::nullopt;
    return static_cast<std::int64_t>(best) * 60;
}

} // namespace

std::string CDeviceId::Text() const {
    if (!Known())
        return std::string(kUnknownDevice);
    const std::string make = Tidy(strMake);
    const std::string model = Tidy(strModel);
    const std::string serial = Tidy(strSerial);
    // "NIKON CORPORATION" and "NIKON D750": the model says it already.
    const std::string_view firstWord = std::string_view(make).substr(0, make.find(' '));
    std::string text =
        StartsWithWord(model, make) || StartsWithWord(model, firstWord) ? model : make;
    if (text != model && !model.empty())
        text += (text.empty() ? "" : " ") + model;
    if (!serial.empty())
        text += (text.empty() ? "Device #" : " #") + serial;
    return text.empty() ? std::string(kUnknownDevice) : text;
}

bool CDeviceId::Known() const {
    return !Tidy(strMake).empty() || !Tidy(strModel).empty() || !Tidy(strSerial).empty();
}

std::string CDeviceId::Key() const {
    return Known() ? DeviceKeyOfText(Text()) : std::string();
}

std::string DeviceKeyOfText(std::string_view text) {
    std::string key;
    for (const char c : Tidy(text)) {
        // A settings key: '/' parts groups, '\\' is an escape in its files, and
        // other bytes than ASCII may not come back as they went in.
        if (c == '%' || c == '/' || c == '\\' || static_cast<unsigned char>(c) >= 0x80) {
            char hex[4];
            std::snprintf(hex, sizeof(hex), "%%%02x", static_cast<unsigned char>(c));
            key += hex;
        } else {
            key += AsciiLower(c);
        }
    }
    return key;
}

std::string OffsetSecondsText(std::int64_t seconds) {
    // The magnitude unsigned, so that the most negative number has one too.
    const std::uint64_t magnitude =
        seconds < 0 ? 0 - static_cast<std::uint64_t>(seconds) : static_cast<std::uint64_t>(seconds);
    char text[40];
    std::snprintf(text, sizeof(text), "%c%llu:%02llu:%02llu", seconds < 0 ? '-' : '+',
                  static_cast<unsigned long long>(magnitude / 3600),
                  static_cast<unsigned long long>(magnitude / 60 % 60),
                  static_cast<unsigned long long>(magnitude % 60));
    return text;
}

std::optional<std::int64_t> ParseOffsetSeconds(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    // Hours, then up to two parts of two digits each, under 60.
    std::int64_t seconds = 0;
    for (int part = 0; part < 3; ++part) {
        const std::size_t colon = text.find(':');
        const std::string_view digits = text.substr(0, colon);
        std::int64_t value = 0;
        if ((part > 0 && digits.size() != 2) ||
            !ParseDigits(digits, value, part == 0 ? kMaxClockOffset / 3600 : 59))
            return std::nullopt;
        seconds += value * (part == 0 ? 3600 : part == 1 ? 60 : 1);
        if (colon == std::string_view::npos) {
            if (seconds > kMaxClockOffset)
                return std::nullopt;
            return negative ? -seconds : seconds;
        }
        text.remove_prefix(colon + 1);
    }
    return std::nullopt; // a fourth part
}

std::size_t ReferenceDevice(const CDeviceTable& devices) {
    // The unknown device may hold files of many devices: never the reference.
    std::size_t best = 0;
    std::size_t bestCount = 0;
    for (std::size_t i = 1; i < devices.size(); ++i) {
        if (devices[i].samples.size() > bestCount) {
            best = i;
            bestCount = devices[i].samples.size();
        }
    }
    return best;
}

COffsetProposals::COffsetProposals(const CDeviceTable& devices, std::size_t reference)
    : m_devices(devices), m_nReference(reference),
      m_zones(reference != 0 && reference < devices.size() ? ZonesOf(devices[reference])
                                                           : std::vector<CZoneAt>()) {}

std::optional<std::int64_t> COffsetProposals::For(std::size_t device) const {
    // The unknown device has no one clock to correct.
    if (device == 0 || device == m_nReference || device >= m_devices.size() ||
        m_nReference >= m_devices.size())
        return std::nullopt;
    if (const auto fromGps = ProposeFromGps(m_devices[device], m_zones))
        return *fromGps;
    return ProposeFromZones(m_devices[device], m_zones);
}

const CClockSpan* SpanAt(const CClockSpans& spans, std::int64_t wallMillis) {
    const CClockSpan* best = nullptr;
    // Widths as unsigned: an open span is wider than any bounded one.
    const auto width = [](const CClockSpan& span) {
        return static_cast<std::uint64_t>(span.nTo) - static_cast<std::uint64_t>(span.nFrom);
    };
    for (const CClockSpan& span : spans) {
        if (span.Holds(wallMillis) && (best == nullptr || width(span) <= width(*best)))
            best = &span;
    }
    return best;
}

void StoreSpan(CClockSpans& spans, const CClockSpan& span) {
    const auto same = std::find_if(spans.begin(), spans.end(), [&span](const CClockSpan& other) {
        return other.nFrom == span.nFrom && other.nTo == span.nTo;
    });
    if (same != spans.end())
        spans.erase(same);
    if (span.nOffset != 0)
        spans.push_back(span);
}

namespace {

constexpr char kSpanSeparator = '|';

} // namespace

std::string SpanDateText(std::int64_t millis) {
    return DateFieldsText(WallFields(millis - ((millis % 1000) + 1000) % 1000));
}

CClockOffsets ChangedClocks(const CDeviceTable& devices, const std::vector<std::int64_t>& offsets) {
    CClockOffsets changed;
    for (std::size_t i = 0; i < devices.size() && i < offsets.size(); ++i) {
        const CDevice& device = devices[i];
        // An entry without dates has nothing an offset would move.
        if (offsets[i] == device.nOffset || !device.id.Known() ||
            (!device.span && device.nFirst > device.nLast))
            continue;
        CClockSpan span;
        if (device.span) {
            span = *device.span;
        } else {
            span.nFrom = device.nFirst - ((device.nFirst % 1000) + 1000) % 1000;
            span.nTo = device.nLast - ((device.nLast % 1000) + 1000) % 1000 + 999;
        }
        span.nOffset = offsets[i];
        StoreSpan(changed.try_emplace(device.id.Key(), device.stored).first->second, span);
    }
    return changed;
}

std::string ClockSpanValue(const CClockSpan& span) {
    std::string value = std::to_string(span.nOffset);
    if (span.Bounded()) {
        value += kSpanSeparator;
        if (span.nFrom != INT64_MIN)
            value += SpanDateText(span.nFrom);
        value += kSpanSeparator;
        if (span.nTo != INT64_MAX)
            value += SpanDateText(span.nTo);
    }
    return value;
}

std::optional<CClockSpan> ParseClockSpan(std::string_view value) {
    const std::size_t first = value.find(kSpanSeparator);
    const std::size_t second =
        first == std::string_view::npos ? first : value.find(kSpanSeparator, first + 1);
    if (first != std::string_view::npos &&
        (second == std::string_view::npos ||
         value.find(kSpanSeparator, second + 1) != std::string_view::npos))
        return std::nullopt;
    CClockSpan span;
    const std::string_view seconds = value.substr(0, first);
    const bool negative = !seconds.empty() && seconds[0] == '-';
    if (!ParseDigits(seconds.substr(negative ? 1 : 0), span.nOffset, kMaxClockOffset) ||
        span.nOffset == 0)
        return std::nullopt;
    if (negative)
        span.nOffset = -span.nOffset;
    if (first == std::string_view::npos)
        return span;
    const std::string_view from = value.substr(first + 1, second - first - 1);
    const std::string_view to = value.substr(second + 1);
    if (!from.empty()) {
        const std::optional<std::int64_t> date = ParseSpanDate(from, true);
        if (!date)
            return std::nullopt;
        span.nFrom = *date;
    }
    if (!to.empty()) {
        const std::optional<std::int64_t> date = ParseSpanDate(to, false);
        if (!date)
            return std::nullopt;
        span.nTo = *date;
    }
    if (!span.Bounded() || span.nFrom > span.nTo)
        return std::nullopt;
    return span;
}

std::string SpanText(const CClockSpan& span) {
    if (!span.Bounded())
        return "every date";
    if (span.nFrom == INT64_MIN)
        return "to " + SpanDateText(span.nTo);
    if (span.nTo == INT64_MAX)
        return "from " + SpanDateText(span.nFrom);
    return SpanDateText(span.nFrom) + " to " + SpanDateText(span.nTo);
}

std::optional<std::int64_t> ParseSpanDate(std::string_view text, bool start) {
    // "YYYY-MM-DD" or that and a time of day, nothing more.
    if (text.size() != 10 && text.size() != 19)
        return std::nullopt;
    const CFoundDate date = ParseDateText(text, DateSource::FileName);
    if (!date.Found() || date.HasOffset() || text[4] != '-' || (text.size() == 19 && !date.bTime))
        return std::nullopt;
    // An end holds through its last millisecond: of the day, or of the second.
    const std::int64_t millis = WallMillis(date);
    if (start)
        return millis;
    return millis + (date.bTime ? 1000 : 86400 * 1000LL) - 1;
}

} // namespace velmora
