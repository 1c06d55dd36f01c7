#include "avi_reader.h"

#include "exif_parser.h"
#include "file_stream.h"
#include "image_record.h"
#include "ole_date.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

using velmora::CFoundDate;
using velmora::DateSource;
namespace ole = velmora::ole;

namespace {

constexpr std::uint64_t kRiffHeader = 12; // "RIFF", size, "AVI "
constexpr std::uint64_t kChunkHeader = 8; // id, size
constexpr std::uint64_t kListType = 4;
// hdrl > strl > strd is as deep as a date lies.
constexpr int kMaxDepth = 3;
// A date text is some thirty characters; a longer chunk is no date.
constexpr std::size_t kMaxDateText = 64;
// avih: width and height are its ninth and tenth u32.
constexpr std::size_t kMainHeaderSize = 40;
constexpr std::size_t kMainHeaderWidth = 32;
constexpr std::uint32_t kMaxPictureSide = 65535;
// strd: "AVIF", 4 bytes, then a little-endian IFD0 at byte 8 whose value
// offsets count from the chunk's first byte: TIFF data under another header.
constexpr std::size_t kStreamExifHeader = 8;
constexpr unsigned char kTiffHeader[kStreamExifHeader] = {'I', 'I', 42, 0, 8, 0, 0, 0};
// DTIM as a number: 100-ns units since 1601-01-01.
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr std::uint64_t kFileTimeUnitsPerSecond = 10000000;
constexpr std::uint32_t kFileTimeSize = 8;

std::uint32_t LittleEndian32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

bool IsId(const char* id, const char (&name)[5]) {
    return std::memcmp(id, name, 4) == 0;
}

// A cursor over a date text.
class CDateText {
public:
    explicit CDateText(std::string_view text) : m_text(text) {}

    bool AtEnd() const { return m_pos == m_text.size(); }
    bool Accept(char c) {
        if (AtEnd() || m_text[m_pos] != c)
            return false;
        ++m_pos;
        return true;
    }
    // True when at least one blank was skipped.
    bool Blanks() {
        const std::size_t start = m_pos;
        while (!AtEnd() && m_text[m_pos] == ' ')
            ++m_pos;
        return m_pos != start;
    }
    bool Number(int minDigits, int maxDigits, int& value) {
        value = 0;
        int digits = 0;
        while (digits < maxDigits && !AtEnd() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') {
            value = value * 10 + (m_text[m_pos++] - '0');
            ++digits;
        }
        return digits >= minDigits;
    }
    // The letters from here on, in lower case; of a long word only the first
    // four are kept, enough to tell it from a three-letter name.
    std::string Word() {
        std::string word;
        while (!AtEnd() && std::isalpha(static_cast<unsigned char>(m_text[m_pos]))) {
            if (word.size() < 4)
                word += static_cast<char>(std::tolower(static_cast<unsigned char>(m_text[m_pos])));
            ++m_pos;
        }
        return word;
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

int MonthOf(const std::string& name) {
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    for (int i = 0; i < 12; ++i) {
        if (name == kMonths[i])
            return i + 1;
    }
    return 0;
}

// "Www Mmm dd hh:mm:ss yyyy", the day maybe padded with a blank.
bool ReadAscTime(std::string_view text, ole::DateFields& f) {
    CDateText in(text);
    return in.Word().size() == 3 && in.Blanks() && (f.month = MonthOf(in.Word())) != 0 &&
           in.Blanks() && in.Number(1, 2, f.day) && in.Blanks() && in.Number(1, 2, f.hour) &&
           in.Accept(':') && in.Number(2, 2, f.minute) && in.Accept(':') &&
           in.Number(2, 2, f.second) && in.Blanks() && in.Number(4, 4, f.year) && in.AtEnd();
}

// "yyyy/mm/dd hh:mm[:ss]", blanks after each slash and before the time
// allowed, a slash after the day, and "AM"/"PM" after the time.
bool ReadSlashDate(std::string_view text, ole::DateFields& f) {
    CDateText in(text);
    if (!in.Number(4, 4, f.year) || !in.Accept('/'))
        return false;
    in.Blanks();
    if (!in.Number(1, 2, f.month) || !in.Accept('/'))
        return false;
    in.Blanks();
    if (!in.Number(1, 2, f.day))
        return false;
    in.Accept('/');
    if (!in.Blanks() || !in.Number(1, 2, f.hour) || !in.Accept(':') || !in.Number(2, 2, f.minute))
        return false;
    if (in.Accept(':') && !in.Number(2, 2, f.second))
        return false;
    in.Blanks();
    const std::string half = in.Word();
    if (half == "am" || half == "pm") {
        if (f.hour < 1 || f.hour > 12)
            return false;
        f.hour = f.hour % 12 + (half == "pm" ? 12 : 0);
    } else if (!half.empty()) {
        return false;
    }
    in.Blanks();
    return in.AtEnd();
}

// DTIM of 8 bytes: two u32 little-endian making one count of 100-ns units
// since 1601, UTC by the Windows convention but shown as written, like the
// other dates of the file. The low half comes first; both orders often give
// a plausible year, so the other order (the high half first) is taken only
// when the low half first gives no year from 1980 to 2200.
CFoundDate FileTimeDate(const unsigned char* bytes) {
    const std::uint64_t first = LittleEndian32(bytes);
    const std::uint64_t second = LittleEndian32(bytes + 4);
    for (const std::uint64_t units : {second << 32 | first, first << 32 | second}) {
        const auto seconds =
            static_cast<std::int64_t>(units / kFileTimeUnitsPerSecond) - kSecondsFrom1601To1970;
        const auto fields = ole::FieldsOf(seconds);
        if (fields && fields->year >= 1980 && fields->year <= 2200) {
            CFoundDate date;
            date.fields = *fields;
            date.source = DateSource::AviCreated;
            date.bTime = true;
            date.nMillis = static_cast<std::int16_t>(units / 10000 % 1000);
            return date;
        }
    }
    return {};
}

std::string_view Trimmed(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

namespace velmora {

CFoundDate ParseAviDateText(std::string_view text, DateSource source) {
    text = Trimmed(text);
    CFoundDate date = ParseDateText(text, source);
    if (date.Found())
        return date;
    date = {};
    if ((ReadAscTime(text, date.fields) || ReadSlashDate(text, date.fields)) &&
        ole::FromFields(date.fields)) {
        date.source = source;
        date.bTime = true;
        return date;
    }
    return {};
}

} // namespace velmora

// AVI: "RIFF", size u32 little-endian (from byte 8 on), "AVI ", then chunks:
// id (4), size u32 little-endian, data, a pad byte when the size is odd. A
// list is "LIST", size, its type (4), then chunks:
//   LIST hdrl    avih (main header), LIST strl per stream (strh, strf, strd),
//                IDIT (the camera's date text)
//   LIST INFO    ICRD (creation date text), DTIM (date and time)
//   LIST movi    the media data: skipped by its size
//   idx1         index; LIST INFO may follow it, at the end of the file
//   _PMX         XMP packet
void CAviReader::Read() {
    unsigned char header[kRiffHeader];
    if (m_file.Read(header, sizeof(header)) != sizeof(header) ||
        std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "AVI ", 4) != 0)
        return;
    const std::uint64_t fileSize = m_file.Size();
    const std::uint64_t riffEnd = 8 + std::uint64_t(LittleEndian32(header + 4));
    // A recording cut short leaves the size it meant to reach, or 0: the walk
    // then ends with the file.
    const std::uint64_t end = riffEnd >= kRiffHeader && riffEnd <= fileSize ? riffEnd : fileSize;
    Walk(kRiffHeader, end, List::Top, 0);
    m_record.TakeDate(m_dateTime.Found() ? m_dateTime : m_created);
}

void CAviReader::Walk(std::uint64_t pos, std::uint64_t end, List list, int depth) {
    while (m_nChunks < kMaxChunks && pos <= end && end - pos >= kChunkHeader) {
        ++m_nChunks;
        unsigned char header[kChunkHeader + kListType];
        if (!m_file.Seek(pos) || m_file.Read(header, kChunkHeader) != kChunkHeader)
            return;
        const char* id = reinterpret_cast<const char*>(header);
        const std::uint32_t size = LittleEndian32(header + 4);
        const std::uint64_t data = pos + kChunkHeader;
        // Nothing after a chunk that overruns its list can be trusted; a list
        // cut off by the end of the file still shows the chunks it holds.
        const bool fits = size <= end - data;
        if (IsId(id, "LIST")) {
            const std::uint64_t listEnd = fits ? data + size : end;
            if (depth < kMaxDepth && listEnd - data >= kListType &&
                m_file.Read(header + kChunkHeader, kListType) == kListType) {
                const char* type = id + kChunkHeader;
                if (list == List::Top && IsId(type, "hdrl"))
                    Walk(data + kListType, listEnd, List::Header, depth + 1);
                else if (list == List::Header && IsId(type, "strl"))
                    Walk(data + kListType, listEnd, List::Stream, depth + 1);
                else if ((list == List::Top || list == List::Header) && IsId(type, "INFO"))
                    Walk(data + kListType, listEnd, List::Info, depth + 1);
            }
        } else if (fits) {
            ReadChunk(id, data, size, list);
        }
        if (!fits)
            return;
        pos = data + size + (size & 1);
    }
}

void CAviReader::ReadChunk(const char* id, std::uint64_t data, std::uint32_t size, List list) {
    CJpegInfo& info = m_record.m_info;
    if (list == List::Header && IsId(id, "avih")) {
        if (ReadBytes(data, size, kMainHeaderSize) && m_bytes.size() == kMainHeaderSize &&
            info.m_nWidth == 0) {
            const std::uint32_t width = LittleEndian32(m_bytes.data() + kMainHeaderWidth);
            const std::uint32_t height = LittleEndian32(m_bytes.data() + kMainHeaderWidth + 4);
            if (width <= kMaxPictureSide && height <= kMaxPictureSide) {
                info.m_nWidth = static_cast<int>(width);
                info.m_nHeight = static_cast<int>(height);
            }
        }
    } else if ((list == List::Top || list == List::Header) && IsId(id, "IDIT")) {
        if (!m_dateTime.Found() && ReadBytes(data, size, kMaxDateText))
            m_dateTime = velmora::ParseAviDateText(
                {reinterpret_cast<const char*>(m_bytes.data()), m_bytes.size()},
                DateSource::AviDateTime);
    } else if (list == List::Info && (IsId(id, "ICRD") || IsId(id, "DTIM"))) {
        if (m_created.Found() || !ReadBytes(data, size, kMaxDateText))
            return;
        if (IsId(id, "DTIM") && size == kFileTimeSize)
            m_created = FileTimeDate(m_bytes.data());
        else
            m_created = velmora::ParseAviDateText(
                {reinterpret_cast<const char*>(m_bytes.data()), m_bytes.size()},
                DateSource::AviCreated);
    } else if (list == List::Stream && IsId(id, "strd")) {
        if (size <= kMaxMetadataChunk && ReadBytes(data, size, kMaxMetadataChunk))
            ReadStreamExif(size);
    } else if (list == List::Top && IsId(id, "_PMX")) {
        if (m_record.m_bReadHints && size <= kMaxMetadataChunk &&
            ReadBytes(data, size, kMaxMetadataChunk))
            m_record.TakeXmpPacket({reinterpret_cast<const char*>(m_bytes.data()), m_bytes.size()});
    }
}

bool CAviReader::ReadBytes(std::uint64_t offset, std::uint32_t size, std::size_t limit) {
    m_bytes.resize(std::min<std::size_t>(size, limit));
    if (!m_file.Seek(offset) || m_file.Read(m_bytes.data(), m_bytes.size()) != m_bytes.size()) {
        m_bytes.clear();
        return false;
    }
    return true;
}

void CAviReader::ReadStreamExif(std::uint32_t size) {
    if (size < kStreamExifHeader || std::memcmp(m_bytes.data(), "AVIF", 4) != 0)
        return;
    std::memcpy(m_bytes.data(), kTiffHeader, sizeof(kTiffHeader));
    m_exif.ParseTiff(m_bytes.data(), size);
}
