#include "chunk_reader.h"

#include "byte_cursor.h"
#include "file_stream.h"
#include "jpeg_file.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr std::uint64_t kRiffHeader = 12;     // "RIFF", size, "WEBP"
constexpr std::uint64_t kWebpChunkHeader = 8; // type, size
constexpr std::uint64_t kPngSignature = 8;
constexpr std::uint64_t kPngChunkHeader = 8; // length, type
constexpr std::uint64_t kPngCrc = 4;
constexpr std::uint32_t kPngMaxLength = 0x7FFFFFFF;
constexpr std::size_t kSizeBytes = 10; // what any size-giving chunk needs

std::uint32_t LittleEndian32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

} // namespace

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
        m_reader.ParseEmbeddedExif(m_bytes.data(), static_cast<std::uint32_t>(m_bytes.size()));
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
        if (size > end - data)
            return; // a chunk overrunning the file ends the walk
        const char* type = reinterpret_cast<const char*>(chunk);
        if (std::memcmp(type, "EXIF", 4) == 0) {
            if (ReadChunk(data, size, kMaxExifChunk))
                ParseExifChunk(size);
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
    CJpegInfo& info = m_reader.m_info;
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
// ends at IEND; image data (IDAT) is skipped.
void CChunkReader::ReadPng() {
    const std::uint64_t end = m_file.Size();
    std::uint64_t pos = kPngSignature;
    for (int n = 0; n < kMaxChunks && pos <= end && end - pos >= kPngChunkHeader; ++n) {
        unsigned char chunk[kPngChunkHeader];
        if (!m_file.Seek(pos) || m_file.Read(chunk, sizeof(chunk)) != sizeof(chunk))
            return;
        CByteCursor cursor(chunk, sizeof(chunk));
        const std::uint32_t length = cursor.U32();
        const std::uint64_t data = pos + kPngChunkHeader;
        if (length > kPngMaxLength || length > end - data)
            return;
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
            m_reader.m_info.m_nWidth = width <= INT_MAX ? static_cast<int>(width) : 0;
            m_reader.m_info.m_nHeight = height <= INT_MAX ? static_cast<int>(height) : 0;
        }
        pos = data + length + kPngCrc;
    }
}
