#pragma once

#include <cstdint>
#include <vector>

class CFileStream;
class CExifParser;
class CImageRecord;
struct CBox;

// CHeifReader reads HEIF, HEIC and AVIF files: it finds the EXIF item through
// the `meta` box (its item type in `iinf`, its bytes in `iloc`), decodes it
// into the record, and takes the picture size from the largest
// `ispe` property. With the record's m_bReadHints it also hands over the XMP
// item (type `mime`, content type application/rdf+xml). It reads the `meta`
// box and those items' bytes only.
class CHeifReader {
public:
    CHeifReader(CImageRecord& record, CExifParser& exif, CFileStream& file)
        : m_record(record), m_exif(exif), m_file(file) {}

    void Read();

    // What one EXIF item may hold; larger ones are not read.
    static constexpr std::uint32_t kMaxExifItem = 4 * 1024 * 1024;
    // What is read of the XMP item; the dates are at its front.
    static constexpr std::size_t kMaxXmpItem = 1024 * 1024;

private:
    struct Extent {
        std::uint64_t offset;
        std::uint64_t length; // 0 = to the end of its area
        std::uint64_t end;    // the end of its area: the file's, or the idat box's
    };

    void ReadMeta(const CBox& meta);
    void FindItems(const CBox& iinf);
    bool IsXmpItem(const CBox& infe, std::size_t nameAt);
    void ReadPictureSize(const CBox& iprp);
    bool FindExtents(std::uint32_t itemId, std::vector<Extent>& extents) const;
    bool ReadItem(const std::vector<Extent>& extents, std::size_t limit, bool cut,
                  std::vector<unsigned char>& item);
    void ReadExifItem(const std::vector<Extent>& extents);
    void ReadXmpItem(const std::vector<Extent>& extents);

    CImageRecord& m_record;
    CExifParser& m_exif;
    CFileStream& m_file;
    bool m_bHaveExifItem = false;
    std::uint32_t m_nExifItem = 0;
    bool m_bHaveXmpItem = false;
    std::uint32_t m_nXmpItem = 0;
    std::vector<unsigned char> m_iloc;
    // The item data box of `meta`: items built with construction method 1.
    bool m_bHaveIdat = false;
    std::uint64_t m_nIdatBegin = 0;
    std::uint64_t m_nIdatEnd = 0;
};
