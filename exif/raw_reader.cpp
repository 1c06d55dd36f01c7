#include "raw_reader.h"

#include "byte_cursor.h"
#include "exif_parser.h"
#include "file_stream.h"
#include "image_record.h"
#include "jpeg_sections.h"
#include "string_table.h"
#include "tiff_file_view.h"

namespace {

// RAF header (big-endian):
//   0..15   "FUJIFILMCCD-RAW "
//   16..83  format version, camera ID, model name, directory version
//   84..87  offset of the embedded JPEG
//   88..91  its length
constexpr std::size_t kRafHeaderSize = 92;
constexpr std::size_t kRafJpegOffset = 84;

} // namespace

void CRawReader::ReadTiff() {
    CTiffFileView view(m_file);
    if (view.Ok())
        m_exif.ParseTiffFile(view);
    // A directory past the end: the file was cut after its header.
    if (m_record.m_nErrorId == velmora::IDS_ILLEGAL_DIRECTORY)
        m_file.MarkDamaged();
}

bool CRawReader::ReadRaf(CJpegSections& sections) {
    unsigned char header[kRafHeaderSize];
    if (m_file.Read(header, sizeof(header)) != sizeof(header)) {
        m_record.m_nErrorId = velmora::IDS_INVALID_JPEG;
        return false;
    }
    CByteCursor cursor(header + kRafJpegOffset, sizeof(header) - kRafJpegOffset);
    const std::uint64_t offset = cursor.U32();
    const std::uint64_t length = cursor.U32();
    const std::uint64_t size = m_file.Size();
    if (offset > size || length > size - offset || !m_file.Seek(offset)) {
        m_record.m_nErrorId = velmora::IDS_INVALID_JPEG;
        return false;
    }
    return sections.ScanSections(m_file, m_record, m_exif);
}
