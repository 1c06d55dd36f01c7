#include "crw_reader.h"

#include "file_stream.h"
#include "found_date.h"
#include "image_record.h"
#include "ole_date.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

using velmora::CFoundDate;
using velmora::DateSource;

namespace {

constexpr std::size_t kHeaderSize = 14;     // "II", header length u32, "HEAPCCDR"
constexpr std::uint64_t kDirectoryLink = 4; // a heap's last bytes: its directory's offset
constexpr std::uint64_t kCountSize = 2;
constexpr std::size_t kEntrySize = 10;
constexpr unsigned kInEntry = 0x4000;  // the value is in the entry's own 8 bytes
constexpr unsigned kTypeMask = 0x3800; // the data type
constexpr unsigned kHeapType = 0x2800;
constexpr unsigned kHeapType2 = 0x3000;
constexpr unsigned kIdMask = 0x3FFF;
constexpr unsigned kTagMakeModel = 0x080A; // "Canon\0Canon EOS ...\0"
constexpr unsigned kTagTimeStamp = 0x180E; // seconds u32, zone code, zone info
constexpr unsigned kTagImageInfo = 0x1810; // width u32, height u32, ...
// The make and model, each with its NUL.
constexpr std::size_t kMaxMakeModel = 2 * (CImageRecord::kMaxDeviceName + 1);
constexpr std::uint32_t kMaxPictureSide = 65535;

std::uint32_t LittleEndian16(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8;
}

std::uint32_t LittleEndian32(const unsigned char* p) {
    return LittleEndian16(p) | LittleEndian16(p + 2) << 16;
}

} // namespace

// CRW: "II", the header's length u32 (26), "HEAPCCDR", version; the root
// heap runs from the end of the header to the end of the file.
void CCrwReader::Read() {
    unsigned char header[kHeaderSize];
    if (m_file.Read(header, sizeof(header)) != sizeof(header) || header[0] != 'I' ||
        header[1] != 'I' || std::memcmp(header + 6, "HEAPCCDR", 8) != 0)
        return;
    const std::uint64_t size = m_file.Size();
    const std::uint64_t begin = LittleEndian32(header + 2);
    if (begin >= kHeaderSize && begin <= size)
        ReadHeap(begin, size, 0);
}

// Heap: values, then its directory: entry count u16, 10-byte entries (tag
// u16, size u32, offset u32 from the heap's start); the heap's last 4 bytes
// give the directory's offset from the heap's start. Other data may stand
// between the directory and those 4 bytes (Canon's "optional data" in the
// root heap). Types 0x2800 and 0x3000 of a tag are heaps of their own.
void CCrwReader::ReadHeap(std::uint64_t begin, std::uint64_t end, int depth) {
    const std::uint64_t heapSize = end - begin;
    if (depth > kMaxDepth || heapSize < kCountSize + kDirectoryLink)
        return;
    unsigned char link[kDirectoryLink];
    if (!m_file.Seek(end - kDirectoryLink) || m_file.Read(link, sizeof(link)) != sizeof(link))
        return;
    const std::uint64_t directory = LittleEndian32(link);
    if (directory > heapSize - kDirectoryLink - kCountSize)
        return;
    unsigned char count[kCountSize];
    if (!m_file.Seek(begin + directory) || m_file.Read(count, sizeof(count)) != sizeof(count))
        return;
    // The entries lie between the count and the link: a count that runs past
    // the link shows bytes that are no directory (as in a file cut short,
    // where the link is whatever stands at its end).
    const std::uint64_t room = (heapSize - kDirectoryLink - kCountSize - directory) / kEntrySize;
    if (LittleEndian16(count) > room)
        return;
    const auto entries = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(LittleEndian16(count), kMaxEntries - m_nEntries));
    m_nEntries += entries;
    std::vector<unsigned char> bytes(std::size_t(entries) * kEntrySize);
    if (m_file.Read(bytes.data(), bytes.size()) != bytes.size())
        return;
    for (std::uint32_t i = 0; i < entries; ++i) {
        const unsigned char* entry = bytes.data() + std::size_t(i) * kEntrySize;
        const unsigned tag = LittleEndian16(entry);
        const std::uint32_t size = LittleEndian32(entry + 2);
        const std::uint32_t offset = LittleEndian32(entry + 6);
        // The values come before the directory.
        if ((tag & kInEntry) != 0 || offset > directory || size > directory - offset)
            continue;
        const unsigned type = tag & kTypeMask;
        if (type == kHeapType || type == kHeapType2)
            ReadHeap(begin + offset, begin + offset + size, depth + 1);
        else
            ReadValue(tag & kIdMask, begin + offset, size);
    }
}

void CCrwReader::ReadValue(unsigned tag, std::uint64_t offset, std::uint32_t size) {
    CJpegInfo& info = m_record.m_info;
    unsigned char bytes[kMaxMakeModel];
    const std::size_t count = std::min<std::size_t>(size, sizeof(bytes));
    if ((tag != kTagTimeStamp && tag != kTagMakeModel && tag != kTagImageInfo) ||
        !m_file.Seek(offset) || m_file.Read(bytes, count) != count)
        return;
    if (tag == kTagTimeStamp && count >= 4) {
        // Seconds since 1970 on the camera's clock: its wall-clock time, no
        // zone. 0 is a clock never set.
        const std::uint32_t seconds = LittleEndian32(bytes);
        const auto fields = velmora::ole::FieldsOf(seconds);
        if (seconds != 0 && fields)
            m_record.TakeDate({*fields, DateSource::CrwTimeStamp, true});
    } else if (tag == kTagMakeModel && info.m_szCameraMake[0] == '\0') {
        const std::string_view text(reinterpret_cast<const char*>(bytes), count);
        const std::size_t makeEnd = std::min(text.find('\0'), text.size());
        const std::string_view model = text.substr(std::min(makeEnd + 1, text.size()));
        m_record.SetMake(text.substr(0, makeEnd));
        m_record.SetModel(model);
    } else if (tag == kTagImageInfo && count >= 8 && info.m_nWidth == 0) {
        const std::uint32_t width = LittleEndian32(bytes);
        const std::uint32_t height = LittleEndian32(bytes + 4);
        if (width <= kMaxPictureSide && height <= kMaxPictureSide) {
            info.m_nWidth = static_cast<int>(width);
            info.m_nHeight = static_cast<int>(height);
        }
    }
}
