#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CFileStream;

// One box of an ISO base media file (HEIF, CR3, MP4, QuickTime), as offsets
// into the file.
struct CBox {
    char type[4];
    std::uint64_t payload; // first byte after the header
    std::uint64_t end;     // first byte after the box

    bool Is(const char (&name)[5]) const;
    std::uint64_t PayloadSize() const { return end - payload; }
};

// CBoxWalker lists the boxes of one range of a file (the whole file, or the
// payload of a box) by their headers, seeking over their payloads, so that
// media data of any size is never read. A box whose size overruns the range,
// or a header cut off, ends the walk: what follows cannot be trusted. The
// number of boxes one walk lists is bounded.
class CBoxWalker {
public:
    CBoxWalker(CFileStream& file, std::uint64_t begin, std::uint64_t end);

    // The next box; false at the end of the range or of the walk.
    bool Next(CBox& box);

    // At most `limit` bytes of the box's payload from `skip` on; false when
    // fewer than asked for (the payload minus skip, at most `limit`) arrived.
    static bool ReadPayload(CFileStream& file, const CBox& box, std::vector<unsigned char>& bytes,
                            std::size_t limit, std::uint64_t skip = 0);

    static constexpr int kMaxBoxes = 4096;

private:
    CFileStream& m_file;
    std::uint64_t m_nPos;
    std::uint64_t m_nEnd;
    int m_nBoxes = 0;
};
