#include "iptc_date.h"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace velmora {
namespace {

constexpr unsigned char kSignature[] = "Photoshop 3.0"; // with its NUL
constexpr std::uint16_t kIptcBlock = 0x0404;
constexpr unsigned char kDatasetMark = 0x1C;
constexpr unsigned char kRecordApplication = 2;
constexpr unsigned char kDateCreated = 55;
constexpr unsigned char kTimeCreated = 60;

std::uint32_t ReadBig(const unsigned char* p, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = value << 8 | p[i];
    return value;
}

// Reads `count` decimal digits; false at anything else.
bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    value = 0;
    if (at + count > text.size())
        return false;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// Writers pad fixed-length texts with blanks or NULs.
std::string_view TrimPadding(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.remove_suffix(1);
    return text;
}

struct CIptcTexts {
    std::string_view date;
    std::string_view time;
    bool bDate = false;
    bool bTime = false;
};

// The first 2:55 and 2:60 of the datasets in [p, end).
CIptcTexts FindDatasets(const unsigned char* p, const unsigned char* end) {
    CIptcTexts texts;
    while (end - p >= 5 && p[0] == kDatasetMark) {
        const unsigned char record = p[1];
        const unsigned char dataset = p[2];
        std::size_t length = ReadBig(p + 3, 2);
        p += 5;
        if (length & 0x8000) {
            // Extended dataset: the low bits count the bytes of the length.
            const std::size_t lengthBytes = length & 0x7FFF;
            if (lengthBytes == 0 || lengthBytes > 4 ||
                static_cast<std::size_t>(end - p) < lengthBytes)
                break;
            length = ReadBig(p, lengthBytes);
            p += lengthBytes;
        }
        if (static_cast<std::size_t>(end - p) < length)
            break;
        const std::string_view value(reinterpret_cast<const char*>(p), length);
        if (record == kRecordApplication && dataset == kDateCreated && !texts.bDate) {
            texts.date = value;
            texts.bDate = true;
        } else if (record == kRecordApplication && dataset == kTimeCreated && !texts.bTime) {
            texts.time = value;
            texts.bTime = true;
        }
        p += length;
    }
    return texts;
}

CFoundDate DateOf(const CIptcTexts& texts) {
    CFoundDate date;
    ole::DateFields& f = date.fields;
    const std::string_view day = TrimPadding(texts.date);
    if (!texts.bDate || day.size() != 8 || !Digits(day, 0, 4, f.year) ||
        !Digits(day, 4, 2, f.month) || !Digits(day, 6, 2, f.day) || !ole::FromFields(f))
        return {};
    date.source = DateSource::IptcCreated;

    // A time that cannot be read leaves the date standing alone.
    const std::string_view time = TrimPadding(texts.time);
    ole::DateFields timed = f;
    if (!texts.bTime || time.size() < 6 || !Digits(time, 0, 2, timed.hour) ||
        !Digits(time, 2, 2, timed.minute) || !Digits(time, 4, 2, timed.second) ||
        !ole::FromFields(timed))
        return date;
    std::int16_t offset = kNoOffset;
    if (time.size() > 6) {
        // Only the "±HHMM" form belongs here.
        const std::string_view zone = time.substr(6);
        if (zone.size() != 5 || (zone[0] != '+' && zone[0] != '-'))
            return date;
        offset = ParseOffsetText(zone);
        if (offset == kNoOffset)
            return date;
    }
    f = timed;
    date.bTime = true;
    date.nOffset = offset;
    return date;
}

} // namespace

CFoundDate ParseIptcDate(const unsigned char* data, std::size_t size) {
    if (data == nullptr || size < sizeof kSignature ||
        std::memcmp(data, kSignature, sizeof kSignature) != 0)
        return {};
    const unsigned char* p = data + sizeof kSignature;
    const unsigned char* const end = data + size;
    // Resource blocks: "8BIM", u16 id, a Pascal-string name padded to an
    // even length, u32 size, the data padded to an even length.
    while (end - p >= 7 && std::memcmp(p, "8BIM", 4) == 0) {
        const std::uint16_t id = static_cast<std::uint16_t>(ReadBig(p + 4, 2));
        const std::size_t nameField = (1 + std::size_t{p[6]} + 1) & ~std::size_t{1};
        p += 6;
        if (static_cast<std::size_t>(end - p) < nameField + 4)
            break;
        p += nameField;
        const std::size_t blockSize = ReadBig(p, 4);
        p += 4;
        // A block cut by the section's end is read as far as it goes.
        const std::size_t available = static_cast<std::size_t>(end - p);
        const std::size_t inside = blockSize < available ? blockSize : available;
        if (id == kIptcBlock) {
            const CFoundDate date = DateOf(FindDatasets(p, p + inside));
            if (date.Found())
                return date;
        }
        if (blockSize >= available)
            break;
        p += blockSize + (blockSize & 1);
    }
    return {};
}

} // namespace velmora
