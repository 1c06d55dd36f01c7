#include "heif_reader.h"

#include "box_walker.h"
#include "byte_cursor.h"
#include "file_stream.h"
#include "jpeg_file.h"

#include <algorithm>
#include <climits>

namespace {

// The item location table of an image with many tiles is a few kilobytes.
constexpr std::size_t kMaxIlocBytes = 1024 * 1024;
// An EXIF item is made of one extent, rarely a few.
constexpr std::size_t kMaxExtents = 64;
constexpr std::size_t kFullBoxHeader = 4; // version (1), flags (3)
constexpr std::size_t kMaxInfeBytes = 16;

} // namespace

void CHeifReader::Read() {
    CBoxWalker top(m_file, 0, m_file.Size());
    CBox box;
    while (top.Next(box)) {
        if (box.Is("meta")) {
            ReadMeta(box);
            return;
        }
    }
}

// meta (full box): hdlr, pitm, iinf, iloc, iprp, ... in any order.
void CHeifReader::ReadMeta(const CBox& meta) {
    CBoxWalker children(m_file, meta.payload + kFullBoxHeader, meta.end);
    CBox box;
    while (children.Next(box)) {
        if (box.Is("iinf"))
            FindExifItem(box);
        else if (box.Is("iloc"))
            CBoxWalker::ReadPayload(m_file, box, m_iloc, kMaxIlocBytes);
        else if (box.Is("iprp"))
            ReadPictureSize(box);
    }
    std::vector<Extent> extents;
    if (m_bHaveExifItem && FindExtents(m_iloc, extents))
        ReadExifItem(extents);
}

// iinf (full box): entry count, u16 in version 0, else u32; then infe boxes.
// infe (full box), versions 2 and 3:
//   4..5 (4..7 in version 3)  item ID
//   then                      protection index (2), item type (4)
void CHeifReader::FindExifItem(const CBox& iinf) {
    std::vector<unsigned char> head;
    if (!CBoxWalker::ReadPayload(m_file, iinf, head, 1) || head.empty())
        return;
    const std::uint64_t countSize = head[0] == 0 ? 2 : 4;
    CBoxWalker entries(m_file, iinf.payload + kFullBoxHeader + countSize, iinf.end);
    CBox infe;
    std::vector<unsigned char> bytes;
    while (entries.Next(infe)) {
        if (!infe.Is("infe") || !CBoxWalker::ReadPayload(m_file, infe, bytes, kMaxInfeBytes))
            continue;
        CByteCursor cursor(bytes.data(), bytes.size());
        const std::uint32_t version = cursor.U8();
        cursor.Skip(3);
        if (version < 2)
            continue;
        const std::uint32_t id = version == 2 ? cursor.U16() : cursor.U32();
        cursor.Skip(2);
        if (cursor.Is("Exif")) {
            m_nExifItem = id;
            m_bHaveExifItem = true;
            return;
        }
    }
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
        CJpegInfo& info = m_reader.m_info;
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
// The EXIF item's extents are file offsets (construction method 0); items
// built otherwise are not read.
bool CHeifReader::FindExtents(const std::vector<unsigned char>& iloc,
                              std::vector<Extent>& extents) const {
    CByteCursor cursor(iloc.data(), iloc.size());
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
        if (id != m_nExifItem) {
            cursor.Skip(std::uint64_t(count) * (indexSize + offsetSize + lengthSize));
            continue;
        }
        if (method != 0)
            return false;
        for (std::uint32_t e = 0; e < count && e < kMaxExtents; ++e) {
            cursor.Skip(indexSize);
            const std::uint64_t offset = cursor.Read(offsetSize);
            const std::uint64_t length = cursor.Read(lengthSize);
            if (!cursor.Ok() || offset > UINT64_MAX - base)
                return false;
            extents.push_back({base + offset, length});
        }
        return !extents.empty();
    }
    return false;
}

// The EXIF item: the extents one after another, then
//   0..3  n, big-endian
//   4..   n bytes to skip (usually "Exif\0\0"), then the TIFF data
void CHeifReader::ReadExifItem(const std::vector<Extent>& extents) {
    const std::uint64_t fileSize = m_file.Size();
    std::vector<unsigned char> item;
    for (const Extent& extent : extents) {
        if (extent.offset >= fileSize)
            break;
        const std::uint64_t available = fileSize - extent.offset;
        const std::uint64_t length =
            extent.length == 0 ? available : std::min(extent.length, available);
        if (length > kMaxExifItem - item.size())
            return;
        const std::size_t start = item.size();
        item.resize(start + static_cast<std::size_t>(length));
        const std::size_t got =
            m_file.Seek(extent.offset) ? m_file.Read(item.data() + start, item.size() - start) : 0;
        item.resize(start + got);
        if (got < length)
            break;
    }
    CByteCursor cursor(item.data(), item.size());
    const std::uint32_t skip = cursor.U32();
    cursor.Skip(skip);
    if (!cursor.Ok())
        return;
    m_reader.ParseTiff(item.data() + cursor.Position(),
                       static_cast<std::uint32_t>(cursor.Remaining()));
}
