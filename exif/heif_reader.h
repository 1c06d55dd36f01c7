#pragma once

#include <cstdint>
#include <vector>

class CFileStream;
class CJpegFile;
struct CBox;

// CHeifReader reads HEIF, HEIC and AVIF files: it finds the EXIF item through
// the `meta` box (its item type in `iinf`, its bytes in `iloc`), decodes it
// into the reader's record, and takes the picture size from the largest
// `ispe` property. It reads the `meta` box and the EXIF item's bytes only.
class CHeifReader {
public:
    CHeifReader(CJpegFile& reader, CFileStream& file) : m_reader(reader), m_file(file) {}

    void Read();

    // What one EXIF item may hold; larger ones are not read.
    static constexpr std::uint32_t kMaxExifItem = 4 * 1024 * 1024;

private:
    struct Extent {
        std::uint64_t offset;
        std::uint64_t length; // 0 = to the end of the file
    };

    void ReadMeta(const CBox& meta);
    void FindExifItem(const CBox& iinf);
    void ReadPictureSize(const CBox& iprp);
    bool FindExtents(const std::vector<unsigned char>& iloc, std::vector<Extent>& extents) const;
    void ReadExifItem(const std::vector<Extent>& extents);

    CJpegFile& m_reader;
    CFileStream& m_file;
    bool m_bHaveExifItem = false;
    std::uint32_t m_nExifItem = 0;
    std::vector<unsigned char> m_iloc;
};
