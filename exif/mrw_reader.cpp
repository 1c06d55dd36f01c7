#include "mrw_reader.h"

#include "byte_cursor.h"
#include "exif_parser.h"
#include "file_stream.h"
#include "image_record.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint64_t kBlockHeader = 8; // id (4), length u32 big-endian

} // namespace

// MRW: "\0MRM", the length u32 big-endian of the block area that follows
// (the image data starts after it), then blocks: id (4), length u32
// big-endian, data. "\0PRD" picture facts, "\0TTW" TIFF data whose offsets
// count from the block's data, "\0WBG" white balance, "\0RIF" settings,
// "\0PAD" padding.
void CMrwReader::Read() {
    unsigned char header[kBlockHeader];
    if (m_file.Read(header, sizeof(header)) != sizeof(header) ||
        std::memcmp(header, "\0MRM", 4) != 0)
        return;
    CByteCursor cursor(header + 4, 4);
    const std::uint64_t end = std::min<std::uint64_t>(m_file.Size(), kBlockHeader + cursor.U32());
    std::uint64_t pos = kBlockHeader;
    for (int n = 0; n < kMaxBlocks && pos <= end && end - pos >= kBlockHeader; ++n) {
        unsigned char block[kBlockHeader];
        if (!m_file.Seek(pos) || m_file.Read(block, sizeof(block)) != sizeof(block))
            return;
        CByteCursor length(block + 4, 4);
        const std::uint32_t size = length.U32();
        const std::uint64_t data = pos + kBlockHeader;
        if (size > end - data)
            return; // a block overrunning the area ends the walk
        if (std::memcmp(block, "\0TTW", 4) == 0) {
            // A TIFF block larger than the budget shows its start: the
            // directories lie there, values beyond count as missing.
            std::vector<unsigned char> tiff(std::min(size, kMaxTiffBlock));
            if (m_file.Read(tiff.data(), tiff.size()) == tiff.size())
                m_exif.ParseTiff(tiff.data(), static_cast<std::uint32_t>(tiff.size()));
            return;
        }
        pos = data + size;
    }
}
