#pragma once

#include "found_date.h"

#include <cstdint>
#include <string_view>
#include <vector>

class CFileStream;
class CExifParser;
class CImageRecord;

// CAviReader reads AVI movies: it walks the RIFF chunks by their sizes to the
// end of the file, entering only the header lists, and never reads the media
// data. The date taken is the EXIF date of a stream's `strd` chunk, else the
// camera's IDIT text, else the INFO list's creation date (ICRD or DTIM), all
// local time without an offset. The picture size comes from the main header.
class CAviReader {
public:
    CAviReader(CImageRecord& record, CExifParser& exif, CFileStream& file)
        : m_record(record), m_exif(exif), m_file(file) {}

    void Read();

    // Chunks one file may cost, lists and their contents together.
    static constexpr int kMaxChunks = 4096;
    // What one EXIF or XMP chunk may hold; larger ones are not read.
    static constexpr std::uint32_t kMaxMetadataChunk = 1024 * 1024;

private:
    enum class List { Top, Header, Stream, Info };

    void Walk(std::uint64_t begin, std::uint64_t end, List list, int depth);
    void ReadChunk(const char* id, std::uint64_t data, std::uint32_t size, List list);
    bool ReadBytes(std::uint64_t offset, std::uint32_t size, std::size_t limit);
    void ReadStreamExif(std::uint32_t size);

    CImageRecord& m_record;
    CExifParser& m_exif;
    CFileStream& m_file;
    int m_nChunks = 0;
    velmora::CFoundDate m_dateTime; // IDIT
    velmora::CFoundDate m_created;  // ICRD or DTIM
    std::vector<unsigned char> m_bytes;
};

namespace velmora {

// The date of an AVI date text (IDIT, ICRD, DTIM), up to its first NUL,
// blanks and line ends around ignored: the C asctime form "Mon Mar 10
// 15:04:43 2003" (month and weekday in any case, the day maybe padded with a
// blank), "2009/10/27 12:14:34", "2001/ 1/27  1:42PM", "2005/11/28/ 09:19",
// and the ISO and EXIF forms ParseDateText reads ("2020-08-28" gives a date
// without a time). Source None for anything else.
CFoundDate ParseAviDateText(std::string_view text, DateSource source);

} // namespace velmora
