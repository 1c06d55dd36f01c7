#include "chunk_reader.h"

#include "byte_cursor.h"
#include "exif_parser.h"
#include "file_stream.h"
#include "image_record.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string_view>

#include <zlib.h>

namespace {

constexpr std::uint64_t kRiffHeader = 12;     // "RIFF", size, "WEBP"
constexpr std::uint64_t kWebpChunkHeader = 8; // type, size
constexpr std::uint64_t kPngSignature = 8;
constexpr std::uint64_t kPngChunkHeader = 8; // length, type
constexpr std::uint64_t kPngCrc = 4;
constexpr std::uint32_t kPngMaxLength = 0x7FFFFFFF;
constexpr std::size_t kSizeBytes = 10; // what any size-giving chunk needs
// A PNG text chunk's keyword (79 bytes at most and its NUL), the iTXt flags,
// language tag and translated keyword: where its text starts.
constexpr std::size_t kTextHead = 1024;
constexpr std::size_t kMaxKeyword = 80;
constexpr std::size_t kPiece = 64 * 1024;
// The first piece inflated: a text is often given up after its first bytes.
constexpr std::size_t kFirstPiece = 4 * 1024;
constexpr std::string_view kXmpKeyword = "XML:com.adobe.xmp";
constexpr std::string_view kCreationTimeKeyword = "Creation Time";
// A creation time is a date text; a longer text is none.
constexpr std::size_t kMaxCreationTime = 64;
constexpr std::string_view kProfilePrefix = "Raw profile type ";
// An APP1 profile holds XMP instead of EXIF when it starts so.
constexpr std::string_view kXmpSignature{"http://ns.adobe.com/xap/1.0/\0", 29};

std::uint32_t LittleEndian32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

// The keywords under which image tools stored the EXIF block as hex text.
bool IsExifProfile(std::string_view keyword) {
    if (keyword.substr(0, kProfilePrefix.size()) != kProfilePrefix)
        return false;
    const std::string_view name = keyword.substr(kProfilePrefix.size());
    return EqualNoCase(name, "exif") || EqualNoCase(name, "APP1");
}

// Hands the bytes of [offset, offset + size) of the file to `sink` in pieces,
// inflated first when `compressed` (a zlib stream); at most `limit` bytes
// reach the sink, which returns false to stop. A damaged or cut stream ends
// where its damage starts. A stream that goes on long after `limit` bytes of
// output would have come (empty blocks make no output) is not followed.
// Returns the count of bytes handed over.
template <typename Sink>
std::size_t FeedText(CFileStream& file, std::uint64_t offset, std::uint64_t size, bool compressed,
                     std::size_t limit, Sink&& sink) {
    std::vector<unsigned char> in(kPiece);
    std::size_t given = 0;
    if (!file.Seek(offset))
        return given;
    if (!compressed) {
        std::uint64_t left = std::min<std::uint64_t>(size, limit);
        while (left > 0) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kPiece));
            const std::size_t got = file.Read(in.data(), want);
            given += got;
            if (got == 0 || !sink(in.data(), got))
                break;
            left -= got;
        }
        return given;
    }
    std::vector<unsigned char> out(kPiece);
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return given;
    std::uint64_t left = std::min<std::uint64_t>(size, limit + limit / 8 + 4096);
    std::size_t piece = kFirstPiece;
    while (given < limit) {
        if (z.avail_in == 0 && left > 0) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kPiece));
            const std::size_t got = file.Read(in.data(), want);
            left = got == 0 ? 0 : left - got; // a file cut short ends the stream
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(got);
        }
        // With no input left, inflate still gives what it holds back.
        const auto room = static_cast<uInt>(std::min(piece, limit - given));
        piece = std::min(2 * piece, kPiece);
        z.next_out = out.data();
        z.avail_out = room;
        const int result = inflate(&z, Z_NO_FLUSH);
        const std::size_t made = room - z.avail_out;
        given += made;
        if (made > 0 && !sink(out.data(), made))
            break;
        if (result == Z_STREAM_END)
            break;
        const bool stuck = made == 0 && (z.avail_in != 0 || left == 0);
        if (result == Z_BUF_ERROR ? stuck : result != Z_OK)
            break;
    }
    inflateEnd(&z);
    return given;
}

// The text of a raw profile: "\n", the profile's type name, "\n", its byte
// count right-aligned in spaces, "\n", then hex digits in lines of 72. The
// count has been seen wrong, so the digits alone give the bytes; any other
// character ends them.
class CHexText {
public:
    explicit CHexText(std::vector<unsigned char>& bytes, std::size_t limit)
        : m_bytes(bytes), m_nLimit(limit) {
        m_bytes.clear();
    }

    bool Feed(const unsigned char* text, std::size_t size) {
        std::size_t i = 0;
        for (; i < size && m_state != State::Digits; ++i) {
            if (m_state == State::Lead) {
                if (kHexValues[text[i]] != kBlank)
                    m_state = State::Name;
            } else if (text[i] == '\n') {
                m_state = m_state == State::Name ? State::Count : State::Digits;
            }
        }
        // The digits are the bulk of the text: one look-up each.
        for (; i < size; ++i) {
            const unsigned char value = kHexValues[text[i]];
            if (value != kBlank && (value == kNotHex || !Digit(value)))
                return false;
        }
        return true;
    }

    // More bytes than the limit: the block is not read at all.
    bool Overflow() const { return m_bOverflow; }

private:
    enum class State { Lead, Name, Count, Digits };

    // Each byte's value as a hex digit, or what else it is. The locale's idea
    // of blanks and digits does not apply to file data.
    static constexpr unsigned char kBlank = 16;
    static constexpr unsigned char kNotHex = 17;
    static constexpr std::array<unsigned char, 256> kHexValues = [] {
        std::array<unsigned char, 256> values{};
        values.fill(kNotHex);
        for (const char c : {' ', '\n', '\r', '\t', '\v', '\f'})
            values[static_cast<unsigned char>(c)] = kBlank;
        for (unsigned char d = 0; d < 16; ++d) {
            values["0123456789abcdef"[d]] = d;
            values["0123456789ABCDEF"[d]] = d;
        }
        return values;
    }();

    // False for a byte past the limit.
    bool Digit(unsigned char value) {
        if (m_nHigh < 0) {
            m_nHigh = value;
            return true;
        }
        if (m_bytes.size() == m_nLimit) {
            m_bOverflow = true;
            return false;
        }
        m_bytes.push_back(static_cast<unsigned char>(m_nHigh << 4 | value));
        m_nHigh = -1;
        return true;
    }

    std::vector<unsigned char>& m_bytes;
    std::size_t m_nLimit;
    State m_state = State::Lead;
    int m_nHigh = -1;
    bool m_bOverflow = false;
};

// XML starts with "<" after a byte-order mark and blanks: an XMP text that
// starts otherwise is no packet and is not read on.
class CXmlStart {
public:
    // False once the text is known not to be XML.
    bool Feed(std::string_view piece) {
        if (m_bDecided)
            return m_bXml;
        if (m_bFirst && piece.starts_with(kByteOrderMark))
            piece.remove_prefix(kByteOrderMark.size());
        m_bFirst = false;
        const std::size_t start = piece.find_first_not_of(" \t\r\n");
        if (start != std::string_view::npos) {
            m_bDecided = true;
            m_bXml = piece[start] == '<';
        }
        return m_bXml;
    }

private:
    static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    bool m_bFirst = true;
    bool m_bDecided = false;
    bool m_bXml = true;
};

// Whether a profile's first bytes may still begin what it can hold: an EXIF
// block ("Exif\0\0" and a TIFF header, or the TIFF header alone) or, in an
// APP1 profile, an XMP packet. Anything else the EXIF parser refuses at its
// header, so the rest of the text need not be decoded.
bool MayStartProfile(const std::vector<unsigned char>& bytes) {
    static constexpr std::string_view kStarts[] = {
        {"Exif\0\0II*\0", 10}, {"Exif\0\0MM\0*", 10}, {"II*\0", 4}, {"MM\0*", 4}, kXmpSignature};
    return bytes.empty() ||
           std::any_of(std::begin(kStarts), std::end(kStarts), [&](std::string_view start) {
               return std::memcmp(bytes.data(), start.data(),
                                  std::min(bytes.size(), start.size())) == 0;
           });
}

bool StartsWithXmp(const std::vector<unsigned char>& bytes) {
    return bytes.size() >= kXmpSignature.size() &&
           std::memcmp(bytes.data(), kXmpSignature.data(), kXmpSignature.size()) == 0;
}

} // namespace

template <typename Sink>
void CChunkReader::Decode(const TextRef& text, std::size_t& budget, Sink&& sink) {
    const std::size_t made =
        FeedText(m_file, text.offset, text.size, text.compressed, budget, sink);
    budget -= made;
    if (text.compressed)
        m_record.m_nBytesInflated += made;
}

bool CChunkReader::ReadChunk(std::uint64_t offset, std::uint32_t size, std::size_t limit) {
    m_bytes.resize(std::min<std::size_t>(size, limit));
    if (!m_file.Seek(offset) || m_file.Read(m_bytes.data(), m_bytes.size()) != m_bytes.size()) {
        m_bytes.clear();
        return false;
    }
    return true;
}

void CChunkReader::ParseExifChunk(std::uint32_t size) {
    if (size <= kMaxExifChunk)
        m_exif.ParseEmbeddedExif(m_bytes.data(), static_cast<std::uint32_t>(m_bytes.size()));
}

void CChunkReader::TakePacket(const unsigned char* data, std::size_t size) {
    m_record.TakeXmpPacket(
        std::string_view(reinterpret_cast<const char*>(data), std::min(size, kMaxXmpPacket)));
}

// WebP: "RIFF", size u32 little-endian (from byte 8 on), "WEBP", then chunks:
// type (4), size u32 little-endian, data, a pad byte when the size is odd.
void CChunkReader::ReadWebp() {
    unsigned char header[kRiffHeader];
    if (m_file.Read(header, sizeof(header)) != sizeof(header))
        return;
    const std::uint64_t end =
        std::min<std::uint64_t>(m_file.Size(), 8 + LittleEndian32(header + 4));
    std::uint64_t pos = kRiffHeader;
    for (int n = 0; n < kMaxChunks && pos <= end && end - pos >= kWebpChunkHeader; ++n) {
        unsigned char chunk[kWebpChunkHeader];
        if (!m_file.Seek(pos) || m_file.Read(chunk, sizeof(chunk)) != sizeof(chunk))
            return;
        const std::uint32_t size = LittleEndian32(chunk + 4);
        const std::uint64_t data = pos + kWebpChunkHeader;
        if (size > end - data) {
            m_file.MarkDamaged(); // a chunk overrunning the file ends the walk
            return;
        }
        const char* type = reinterpret_cast<const char*>(chunk);
        if (std::memcmp(type, "EXIF", 4) == 0) {
            if (ReadChunk(data, size, kMaxExifChunk))
                ParseExifChunk(size);
        } else if (std::memcmp(type, "XMP ", 4) == 0) {
            if (m_record.m_bReadHints && ReadChunk(data, size, kMaxXmpPacket))
                TakePacket(m_bytes.data(), m_bytes.size());
        } else if (ReadChunk(data, size, kSizeBytes)) {
            ReadWebpSize(type);
        }
        pos = data + size + (size & 1);
    }
}

// The picture size, from the first chunk that gives one:
//   VP8X  4..6 canvas width - 1, 7..9 canvas height - 1 (24-bit little-endian)
//   VP8   3..5 start code 9D 01 2A, 6..7 width, 8..9 height (14 bits each)
//   VP8L  0 signature 2F, 1..4 width - 1 (14 bits), height - 1 (14 bits)
void CChunkReader::ReadWebpSize(const char* type) {
    CJpegInfo& info = m_record.m_info;
    const unsigned char* d = m_bytes.data();
    if (info.m_nWidth != 0 || m_bytes.size() < kSizeBytes)
        return;
    if (std::memcmp(type, "VP8X", 4) == 0) {
        info.m_nWidth = 1 + int(d[4] | d[5] << 8 | d[6] << 16);
        info.m_nHeight = 1 + int(d[7] | d[8] << 8 | d[9] << 16);
    } else if (std::memcmp(type, "VP8 ", 4) == 0 && d[3] == 0x9D && d[4] == 0x01 && d[5] == 0x2A) {
        info.m_nWidth = (d[6] | d[7] << 8) & 0x3FFF;
        info.m_nHeight = (d[8] | d[9] << 8) & 0x3FFF;
    } else if (std::memcmp(type, "VP8L", 4) == 0 && d[0] == 0x2F) {
        const std::uint32_t bits = LittleEndian32(d + 1);
        info.m_nWidth = 1 + int(bits & 0x3FFF);
        info.m_nHeight = 1 + int(bits >> 14 & 0x3FFF);
    }
}

// PNG: the 8-byte signature, then chunks: length u32 big-endian (at most
// 2^31 - 1), type (4), data, CRC (4). IHDR: width u32, height u32. The walk
// ends at IEND; image data (IDAT) is skipped, and text chunks after it are
// read too. The CRCs are not checked: the dates do not depend on them.
void CChunkReader::ReadPng() {
    WalkPng();
    ReadProfiles();
}

void CChunkReader::WalkPng() {
    const std::uint64_t end = m_file.Size();
    std::uint64_t pos = kPngSignature;
    for (int n = 0; n < kMaxChunks && pos <= end && end - pos >= kPngChunkHeader; ++n) {
        unsigned char chunk[kPngChunkHeader];
        if (!m_file.Seek(pos) || m_file.Read(chunk, sizeof(chunk)) != sizeof(chunk))
            return;
        CByteCursor cursor(chunk, sizeof(chunk));
        const std::uint32_t length = cursor.U32();
        const std::uint64_t data = pos + kPngChunkHeader;
        if (length > kPngMaxLength || length > end - data) {
            m_file.MarkDamaged();
            return;
        }
        if (cursor.Is("IEND"))
            return;
        const char* type = reinterpret_cast<const char*>(chunk + 4);
        if (std::memcmp(type, "eXIf", 4) == 0 && ReadChunk(data, length, kMaxExifChunk)) {
            ParseExifChunk(length);
        } else if (std::memcmp(type, "IHDR", 4) == 0 && ReadChunk(data, length, 8) &&
                   m_bytes.size() == 8) {
            CByteCursor ihdr(m_bytes.data(), m_bytes.size());
            const std::uint32_t width = ihdr.U32();
            const std::uint32_t height = ihdr.U32();
            m_record.m_info.m_nWidth = width <= INT_MAX ? static_cast<int>(width) : 0;
            m_record.m_info.m_nHeight = height <= INT_MAX ? static_cast<int>(height) : 0;
        } else if (std::memcmp(type, "tEXt", 4) == 0 || std::memcmp(type, "zTXt", 4) == 0 ||
                   std::memcmp(type, "iTXt", 4) == 0) {
            ReadPngText(type, data, length);
        }
        pos = data + length + kPngCrc;
    }
}

// Text chunks: keyword (1..79 bytes), NUL, then
//   tEXt  the text
//   zTXt  compression method (0 = zlib), the compressed text
//   iTXt  compression flag (1 = compressed), method (0), language tag, NUL,
//         translated keyword, NUL, the text
// Raw profiles are only noted here: an eXIf chunk anywhere in the file wins.
void CChunkReader::ReadPngText(const char* type, std::uint64_t data, std::uint32_t length) {
    if (length == 0 || !ReadChunk(data, length, kTextHead))
        return;
    const unsigned char* head = m_bytes.data();
    const std::size_t size = m_bytes.size();
    const auto* nul =
        static_cast<const unsigned char*>(std::memchr(head, 0, std::min(size, kMaxKeyword)));
    if (nul == nullptr)
        return;
    const std::string_view keyword(reinterpret_cast<const char*>(head),
                                   static_cast<std::size_t>(nul - head));
    const bool profile = IsExifProfile(keyword);
    const bool created = keyword == kCreationTimeKeyword && m_record.m_bReadHints &&
                         !m_record.m_creationTime.Found();
    if (!profile && !created && !(keyword == kXmpKeyword && m_record.m_bReadHints))
        return;
    std::size_t at = keyword.size() + 1;
    bool compressed = false;
    if (std::memcmp(type, "zTXt", 4) == 0) {
        if (at == size || head[at] != 0)
            return;
        compressed = true;
        ++at;
    } else if (std::memcmp(type, "iTXt", 4) == 0) {
        if (size - at < 2 || head[at] > 1 || (head[at] == 1 && head[at + 1] != 0))
            return;
        compressed = head[at] == 1;
        at += 2;
        for (int field = 0; field < 2; ++field) { // language tag, translated keyword
            const auto* fieldEnd =
                static_cast<const unsigned char*>(std::memchr(head + at, 0, size - at));
            if (fieldEnd == nullptr)
                return;
            at = static_cast<std::size_t>(fieldEnd - head) + 1;
        }
    }
    const TextRef text{data + at, length - at, compressed};
    if (created) {
        std::string value;
        std::size_t budget = kMaxCreationTime + 1;
        Decode(text, budget, [&](const unsigned char* bytes, std::size_t count) {
            value.append(reinterpret_cast<const char*>(bytes), count);
            return value.size() <= kMaxCreationTime;
        });
        if (value.size() <= kMaxCreationTime)
            m_record.m_creationTime =
                velmora::ParseCreationTimeText(value, velmora::DateSource::PngCreationTime);
        return;
    }
    if (profile) {
        if (m_profiles.size() < static_cast<std::size_t>(kMaxTextChunks))
            m_profiles.push_back(text);
        return;
    }
    if (m_nXmpTexts == kMaxTextChunks || m_nXmpText == 0)
        return;
    ++m_nXmpTexts;
    m_bytes.clear();
    CXmlStart xml;
    bool isXml = true;
    Decode(text, m_nXmpText, [&](const unsigned char* bytes, std::size_t count) {
        m_bytes.insert(m_bytes.end(), bytes, bytes + count);
        return isXml = xml.Feed({reinterpret_cast<const char*>(bytes), count});
    });
    if (isXml)
        TakePacket(m_bytes.data(), m_bytes.size());
}

// The raw profiles, once the walk has shown whether an eXIf chunk gave the
// date: the first profile holding EXIF fills in only when none did; an APP1
// profile holding XMP is a packet like any other.
void CChunkReader::ReadProfiles() {
    bool wantExif = !m_record.m_taken.Found();
    for (const TextRef& text : m_profiles) {
        if ((!wantExif && !m_record.m_bReadHints) || m_nProfileText == 0)
            return;
        if (DecodeProfile(text, wantExif))
            wantExif = false;
    }
}

// True when the profile held EXIF and it was parsed. A profile too long for
// an EXIF block ends the reading of profiles: a file of many costs no more
// than one.
bool CChunkReader::DecodeProfile(const TextRef& text, bool wantExif) {
    const bool hints = m_record.m_bReadHints;
    CHexText hex(m_bytes, kMaxExifChunk);
    Decode(text, m_nProfileText, [&](const unsigned char* bytes, std::size_t count) {
        if (!hex.Feed(bytes, count) || !MayStartProfile(m_bytes))
            return false;
        if (m_bytes.size() < kXmpSignature.size())
            return true;
        // Enough is known to stop early when the rest is not wanted.
        if (StartsWithXmp(m_bytes))
            return hints && m_bytes.size() < kXmpSignature.size() + kMaxXmpPacket;
        return wantExif;
    });
    if (hex.Overflow())
        m_nProfileText = 0;
    if (StartsWithXmp(m_bytes)) {
        if (hints)
            TakePacket(m_bytes.data() + kXmpSignature.size(),
                       m_bytes.size() - kXmpSignature.size());
        return false;
    }
    if (!wantExif || hex.Overflow() || m_bytes.empty())
        return false;
    m_exif.ParseEmbeddedExif(m_bytes.data(), static_cast<std::uint32_t>(m_bytes.size()));
    return true;
}
