// The front door of the readers: the type by content, the reader by type, and
// the rules that hold across readers.

#include "image_reader.h"

#include "avi_reader.h"
#include "chunk_reader.h"
#include "crw_reader.h"
#include "file_stream.h"
#include "heif_reader.h"
#include "image_record.h"
#include "jpeg_sections.h"
#include "movie_reader.h"
#include "mrw_reader.h"
#include "mts_reader.h"
#include "raw_reader.h"
#include "string_table.h"
#include "x3f_reader.h"

#include <cstring>
#include <string>

using namespace velmora;

bool CImageReader::ReadOpened(CFileStream& file, bool open, const char* path, bool byContent) {
    m_record.m_nErrorId = 0;
    m_record.m_nFileDevice = 0;
    m_record.m_nFileInode = 0;
    m_record.m_nBytesRead = 0;
    m_record.m_nBytesInflated = 0;
    m_record.m_format = FileFormat::Unknown;
    // The dates are no part of the record kept for an unopened file.
    m_record.ClearFound();
    if (!open)
        return false;
    m_record.m_nFileDevice = file.EntryDevice();
    m_record.m_nFileInode = file.EntryInode();
    m_sections.ReleaseSections();
    m_record.Clear();
    const std::string fullPath = CFileStream::FullPath(path);
    std::strncpy(m_record.m_info.m_szFileName, fullPath.c_str(),
                 sizeof(m_record.m_info.m_szFileName) - 1);
    m_record.m_info.m_fileTime = file.ModificationTime();
    FileFormat format = FileFormat::Jpeg;
    if (byContent) {
        unsigned char head[kFormatProbeSize];
        format = DetectFileFormat(head, file.Read(head, sizeof(head)), file.Size());
        file.Seek(0);
    }
    const bool ok = Read(file, format);
    m_record.m_nBytesRead = file.BytesRead();
    return ok;
}

bool CImageReader::Read(CFileStream& file, FileFormat format) {
    m_exif.BeginFile();
    m_record.m_format = format;
    const bool ok = Dispatch(file, format);
    m_exif.CompleteExifDate();
    if (!ok) {
        // Damage after a whole EXIF block (a file recovered from a broken
        // card) keeps the date read from it; the failure still stands.
        m_sections.ReleaseSections();
        if (!m_record.m_taken.Found())
            m_record.Clear();
        return false;
    }
    if (format != FileFormat::Jpeg)
        m_exif.FillDimensionsFromTiff();
    return true;
}

// The reader of each type; false (with the id in the record) when the type
// cannot be read at all or its JPEG stream is damaged.
bool CImageReader::Dispatch(CFileStream& file, FileFormat format) {
    switch (format) {
    case FileFormat::Jpeg:
        return m_sections.ScanSections(file, m_record, m_exif);
    case FileFormat::Tiff:
        CRawReader(m_record, m_exif, file).ReadTiff();
        return true;
    case FileFormat::Raf:
        return CRawReader(m_record, m_exif, file).ReadRaf(m_sections);
    case FileFormat::Heif:
        CHeifReader(m_record, m_exif, file).Read();
        return true;
    case FileFormat::Cr3:
    case FileFormat::Movie:
        CMovieReader(m_record, m_exif, file).Read();
        return true;
    case FileFormat::WebP:
        CChunkReader(m_record, m_exif, file).ReadWebp();
        return true;
    case FileFormat::Png:
        CChunkReader(m_record, m_exif, file).ReadPng();
        return true;
    case FileFormat::Avi:
        CAviReader(m_record, m_exif, file).Read();
        return true;
    case FileFormat::Mts:
        CMtsReader(m_record, file).Read();
        return true;
    case FileFormat::Crw:
        CCrwReader(m_record, file).Read();
        return true;
    case FileFormat::Mrw:
        CMrwReader(m_record, m_exif, file).Read();
        return true;
    case FileFormat::X3f:
        return CX3fReader(m_record, m_exif, file).Read(m_sections);
    case FileFormat::BigTiff:
    case FileFormat::Unknown:
        break;
    }
    m_record.m_nErrorId = IDS_INVALID_JPEG;
    return false;
}
