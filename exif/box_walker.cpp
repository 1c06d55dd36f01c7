#include "box_walker.h"

#include "byte_cursor.h"
#include "file_stream.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint64_t kHeaderSize = 8;
constexpr std::uint64_t kLargeHeaderSize = 16;

} // namespace

bool CBox::Is(const char (&name)[5]) const {
    return std::memcmp(type, name, 4) == 0;
}

CBoxWalker::CBoxWalker(CFileStream& file, std::uint64_t begin, std::uint64_t end)
    : m_file(file), m_nPos(begin), m_nEnd(end) {}

// Box header:
//   0..3   size, big-endian, header included: 0 = to the end of the range,
//          1 = a 64-bit size follows the type
//   4..7   type, four characters
//   8..15  64-bit size (only when the size field is 1)
bool CBoxWalker::Next(CBox& box) {
    if (m_nBoxes == kMaxBoxes || m_nPos >= m_nEnd)
        return false;
    unsigned char header[kLargeHeaderSize];
    if (m_nEnd - m_nPos < kHeaderSize || !m_file.Seek(m_nPos) ||
        m_file.Read(header, kHeaderSize) != kHeaderSize) {
        m_file.MarkDamaged(); // a header cut off
        return false;
    }
    CByteCursor cursor(header, sizeof(header));
    std::uint64_t size = cursor.U32();
    std::memcpy(box.type, header + 4, 4);
    std::uint64_t headerSize = kHeaderSize;
    if (size == 1) {
        if (m_nEnd - m_nPos < kLargeHeaderSize ||
            m_file.Read(header + kHeaderSize, kHeaderSize) != kHeaderSize) {
            m_file.MarkDamaged();
            return false;
        }
        cursor.Skip(4);
        size = cursor.U64();
        headerSize = kLargeHeaderSize;
    } else if (size == 0) {
        size = m_nEnd - m_nPos;
    }
    if (size < headerSize || size > m_nEnd - m_nPos) {
        m_nEnd = m_nPos; // nothing after a broken box is walked
        m_file.MarkDamaged();
        return false;
    }
    ++m_nBoxes;
    box.payload = m_nPos + headerSize;
    box.end = m_nPos + size;
    m_nPos = box.end;
    return true;
}

bool CBoxWalker::ReadPayload(CFileStream& file, const CBox& box, std::vector<unsigned char>& bytes,
                             std::size_t limit, std::uint64_t skip) {
    bytes.clear();
    if (skip > box.PayloadSize())
        return false;
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(box.PayloadSize() - skip, limit));
    bytes.resize(count);
    if (!file.Seek(box.payload + skip) || file.Read(bytes.data(), count) != count) {
        bytes.clear();
        return false;
    }
    return true;
}
