#include "heif_reader.h"

#include "box_walker.h"
#include "byte_cursor.h"
#include "exif_parser.h"
#include "file_stream.h"
#include "image_record.h"
#include "movie_reader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>

namespace {

// The item location table of an image with many tiles is a few kilobytes.
constexpr std::size_t kMaxIlocBytes = 1024 * 1024;
// An EXIF item is made of one extent, rarely a few.
constexpr std::size_t kMaxExtents = 64;
constexpr std::size_t kFullBoxHeader = 4; // version (1), flags (3)
// Major brand, minor version, compatible brands: a few of them.
constexpr std::size_t kMaxFtypBytes = 64;
constexpr std::size_t kMaxInfeBytes = 16;
// An infe of type mime: its item name and content type follow the type.
constexpr std::size_t kMaxMimeInfeBytes = 512;
constexpr std::string_view kXmpContentType = "application/rdf+xml";

bool EqualNoCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace

// An image sequence (brand avis or msf1) keeps its frames as a movie's
// tracks: without an EXIF date it gives its movie header's time.
void CHeifReader::Read() {
    CBoxWalker top(m_file, 0, m_file.Size());
    CBox box;
    CBox moov{};
    bool sequence = false;
    bool haveMeta = false;
    bool haveMoov = false;
    while (top.Next(box)) {
        if (box.Is("ftyp")) {
            std::vector<unsigned char> brands;
            CBoxWalker::ReadPayload(m_file, box, brands, kMaxFtypBytes);
            for (std::size_t at = 0; at + 4 <= brands.size(); at += 4) {
                const char* brand = reinterpret_cast<const char*>(brands.data() + at);
                sequence = sequence || std::memcmp(brand, "avis", 4) == 0 ||
                           std::memcmp(brand, "msf1", 4) == 0;
            }
        } else if (box.Is("meta") && !haveMeta) {
            ReadMeta(box);
            haveMeta = true;
        } else if (box.Is("moov") && !haveMoov) {
            moov = box;
            haveMoov = true;
        }
        if (haveMeta && (!sequence || haveMoov))
            break;
    }
    // Every HEIF image keeps its items in a meta box; a file without one
    // (nor a sequence's movie box) was cut short.
    if (!haveMeta && !haveMoov)
        m_file.MarkDamaged();
    if (sequence && haveMoov && !m_record.m_taken.Found())
        CMovieReader(m_record, m_exif, m_file).ReadHeaderTime(moov);
}

// meta (full box): hdlr, pitm, iinf, iloc, iprp, idat, ... in any order.
void CHeifReader::ReadMeta(const CBox& meta) {
    CBoxWalker children(m_file, meta.payload + kFullBoxHeader, meta.end);
    CBox box;
    while (children.Next(box)) {
        if (box.Is("iinf")) {
            FindItems(box);
        } else if (box.Is("iloc")) {
            CBoxWalker::ReadPayload(m_file, box, m_iloc, kMaxIlocBytes);
        } else if (box.Is("iprp")) {
            ReadPictureSize(box);
        } else if (box.Is("idat") && !m_bHaveIdat) {
            m_bHaveIdat = true;
            m_nIdatBegin = box.payload;
            m_nIdatEnd = box.end;
        }
    }
    std::vector<Extent> extents;
    if (m_bHaveExifItem && FindExtents(m_nExifItem, extents))
        ReadExifItem(extents);
    extents.clear();
    if (m_bHaveXmpItem && FindExtents(m_nXmpItem, extents))
        ReadXmpItem(extents);
}

// iinf (full box): entry count, u16 in version 0, else u32; then infe boxes.
// infe (full box), versions 2 and 3:
//   4..5 (4..7 in version 3)  item ID
//   then                      protection index (2), item type (4); for type
//                             mime: item name, content type (NUL-terminated)
// The first item of each kind counts.
void CHeifReader::FindItems(const CBox& iinf) {
    std::vector<unsigned char> head;
    if (!CBoxWalker::ReadPayload(m_file, iinf, head, 1) || head.empty())
        return;
    const bool hints = m_record.m_bReadHints;
    const std::uint64_t countSize = head[0] == 0 ? 2 : 4;
    CBoxWalker entries(m_file, iinf.payload + kFullBoxHeader + countSize, iinf.end);
    CBox infe;
    std::vector<unsigned char> bytes;
    while (!(m_bHaveExifItem && (m_bHaveXmpItem || !hints)) && entries.Next(infe)) {
        if (!infe.Is("infe") || !CBoxWalker::ReadPayload(m_file, infe, bytes, kMaxInfeBytes))
            continue;
        CByteCursor cursor(bytes.data(), bytes.size());
        const std::uint32_t version = cursor.U8();
        cursor.Skip(3);
        if (version < 2)
            continue;
        const std::uint32_t id = version == 2 ? cursor.U16() : cursor.U32();
        cursor.Skip(2);
        const std::size_t typeAt = cursor.Position();
        cursor.Skip(4);
        if (!cursor.Ok())
            continue;
        const unsigned char* type = bytes.data() + typeAt;
        if (std::memcmp(type, "Exif", 4) == 0 && !m_bHaveExifItem) {
            m_nExifItem = id;
            m_bHaveExifItem = true;
        } else if (std::memcmp(type, "mime", 4) == 0 && hints && !m_bHaveXmpItem &&
                   IsXmpItem(infe, typeAt + 4)) {
            m_nXmpItem = id;
            m_bHaveXmpItem = true;
        }
    }
}

// A mime item whose content type (after its item name) names XMP.
bool CHeifReader::IsXmpItem(const CBox& infe, std::size_t nameAt) {
    std::vector<unsigned char> bytes;
    if (!CBoxWalker::ReadPayload(m_file, infe, bytes, kMaxMimeInfeBytes) || nameAt > bytes.size())
        return false;
    const std::string_view rest(reinterpret_cast<const char*>(bytes.data()) + nameAt,
                                bytes.size() - nameAt);
    const std::size_t nameEnd = rest.find('\0');
    if (nameEnd == std::string_view::npos)
        return false;
    std::string_view type = rest.substr(nameEnd + 1);
    // The terminator may be missing at the end of the box.
    const std::size_t typeEnd = type.find('\0');
    if (typeEnd == std::string_view::npos && bytes.size() == kMaxMimeInfeBytes)
        return false;
    type = type.substr(0, typeEnd);
    return EqualNoCase(type, kXmpContentType);
}

// iprp holds ipco, whose ispe properties (full box: width u32, height u32)
// give the sizes of the images; the largest is the picture, the others are
// tiles and thumbnails.
void CHeifReader::ReadPictureSize(const CBox& iprp) {
    CBoxWalker properties(m_file, iprp.payload, iprp.end);
    CBox ipco;
    while (properties.Next(ipco)) {
        if (!ipco.Is("ipco"))
            continue;
        CBoxWalker items(m_file, ipco.payload, ipco.end);
        CBox ispe;
        std::vector<unsigned char> bytes;
        CJpegInfo& info = m_record.m_info;
        while (items.Next(ispe)) {
            if (!ispe.Is("ispe") || !CBoxWalker::ReadPayload(m_file, ispe, bytes, 12))
                continue;
            CByteCursor cursor(bytes.data(), bytes.size());
            cursor.Skip(kFullBoxHeader);
            const std::uint32_t width = cursor.U32();
            const std::uint32_t height = cursor.U32();
            if (cursor.Ok() && width <= INT_MAX && height <= INT_MAX &&
                std::uint64_t(width) * height >
                    std::uint64_t(info.m_nWidth) * std::uint64_t(info.m_nHeight)) {
                info.m_nWidth = static_cast<int>(width);
                info.m_nHeight = static_cast<int>(height);
            }
        }
    }
}

// iloc (full box):
//   0         version; 1..3 flags
//   4         offset_size << 4 | length_size
//   5         base_offset_size << 4 | index_size (index_size in versions 1, 2)
//   6..       item count: u16 (versions 0, 1), u32 (version 2)
//   per item  item ID: u16 (u32 in version 2); construction method u16
//             (versions 1, 2; low 4 bits); data reference index u16;
//             base offset; extent count u16; per extent: index (versions 1,
//             2), offset, length
// Construction method 0 gives file offsets, 1 offsets into the idat box;
// items built from other items (2) are not read.
bool CHeifReader::FindExtents(std::uint32_t itemId, std::vector<Extent>& extents) const {
    CByteCursor cursor(m_iloc.data(), m_iloc.size());
    const std::uint32_t version = cursor.U8();
    cursor.Skip(3);
    const std::uint32_t sizes = cursor.U8();
    const std::uint32_t moreSizes = cursor.U8();
    const unsigned offsetSize = sizes >> 4;
    const unsigned lengthSize = sizes & 0x0F;
    const unsigned baseOffsetSize = moreSizes >> 4;
    const unsigned indexSize = version == 1 || version == 2 ? moreSizes & 0x0F : 0;
    if (version > 2 || offsetSize > 8 || lengthSize > 8 || baseOffsetSize > 8 || indexSize > 8)
        return false;
    const std::uint32_t items = version < 2 ? cursor.U16() : cursor.U32();
    // Each item takes at least 6 bytes, so the loop ends with the buffer.
    for (std::uint32_t i = 0; i < items && cursor.Ok(); ++i) {
        const std::uint32_t id = version < 2 ? cursor.U16() : cursor.U32();
        const std::uint32_t method = version >= 1 ? cursor.U16() & 0x0F : 0;
        cursor.Skip(2); // data reference index
        const std::uint64_t base = cursor.Read(baseOffsetSize);
        const std::uint32_t count = cursor.U16();
        if (id != itemId) {
            cursor.Skip(std::uint64_t(count) * (indexSize + offsetSize + lengthSize));
            continue;
        }
        if (method > 1 || (method == 1 && !m_bHaveIdat))
            return false;
        const std::uint64_t areaBegin = method == 1 ? m_nIdatBegin : 0;
        const std::uint64_t areaEnd = method == 1 ? m_nIdatEnd : m_file.Size();
        for (std::uint32_t e = 0; e < count && e < kMaxExtents; ++e) {
            cursor.Skip(indexSize);
            const std::uint64_t offset = cursor.Read(offsetSize);
            const std::uint64_t length = cursor.Read(lengthSize);
            if (!cursor.Ok() || offset > UINT64_MAX - base)
                return false;
            // An extent outside its area starts at the area's end: nothing is read.
            const std::uint64_t relative = base + offset;
            const std::uint64_t start =
                relative < areaEnd - areaBegin ? areaBegin + relative : areaEnd;
            extents.push_back({start, length, areaEnd});
        }
        return !extents.empty();
    }
    return false;
}

// The extents one after another, at most `limit` bytes: with `cut` the first
// `limit` bytes of a longer item, else false for it. An extent that lies
// outside its area, or that the file cuts off, ends the item.
bool CHeifReader::ReadItem(const std::vector<Extent>& extents, std::size_t limit, bool cut,
                           std::vector<unsigned char>& item) {
    item.clear();
    for (const Extent& extent : extents) {
        if (extent.offset >= extent.end || (cut && item.size() == limit))
            break;
        const std::uint64_t available = extent.end - extent.offset;
        std::uint64_t length = extent.length == 0 ? available : std::min(extent.length, available);
        if (length > limit - item.size()) {
            if (!cut)
                return false;
            length = limit - item.size();
        }
        const std::size_t start = item.size();
        item.resize(start + static_cast<std::size_t>(length));
        const std::size_t got =
            m_file.Seek(extent.offset) ? m_file.Read(item.data() + start, item.size() - start) : 0;
        item.resize(start + got);
        if (got < length)
            break;
    }
    return true;
}

// The EXIF item:
//   0..3  n, big-endian
//   4..   n bytes to skip (usually "Exif\0\0"), then the TIFF data
void CHeifReader::ReadExifItem(const std::vector<Extent>& extents) {
    std::vector<unsigned char> item;
    if (!ReadItem(extents, kMaxExifItem, false, item))
        return;
    CByteCursor cursor(item.data(), item.size());
    const std::uint32_t skip = cursor.U32();
    cursor.Skip(skip);
    if (!cursor.Ok())
        return;
    m_exif.ParseTiff(item.data() + cursor.Position(),
                     static_cast<std::uint32_t>(cursor.Remaining()));
}

// The XMP item is the packet itself.
void CHeifReader::ReadXmpItem(const std::vector<Extent>& extents) {
    std::vector<unsigned char> item;
    if (ReadItem(extents, kMaxXmpItem, true, item))
        m_record.TakeXmpPacket(
            std::string_view(reinterpret_cast<const char*>(item.data()), item.size()));
}
