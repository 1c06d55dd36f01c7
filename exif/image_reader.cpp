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

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

using namespace velmora;

namespace {

const char* FormatName(FileFormat format) {
    switch (format) {
    case FileFormat::Tiff:
    case FileFormat::BigTiff:
        return "TIFF";
    case FileFormat::Raf:
        return "RAF";
    case FileFormat::Heif:
        return "HEIF";
    case FileFormat::Cr3:
        return "CR3";
    case FileFormat::WebP:
        return "WebP";
    case FileFormat::Png:
        return "PNG";
    case FileFormat::Avi:
        return "AVI";
    case FileFormat::Mts:
        return "AVCHD";
    case FileFormat::Crw:
        return "CRW";
    case FileFormat::Mrw:
        return "MRW";
    case FileFormat::X3f:
        return "X3F";
    case FileFormat::Jpeg:
    case FileFormat::Movie:
    case FileFormat::Unknown:
        break;
    }
    return nullptr;
}

} // namespace

std::string ReadFailureText(const CImageRecord& record, const char* path, bool byContent) {
    // A read that never began (the open failed) left neither an error nor a type.
    const bool opened = record.m_nErrorId != 0 || record.m_format != FileFormat::Unknown;
    const ImageType* type = ImageTypeOf(path);
    const int id = record.m_nErrorId != 0 ? record.m_nErrorId : IDS_INVALID_JPEG;
    if (!byContent || record.m_format == FileFormat::Jpeg ||
        (type != nullptr && type->kind == ImageKind::Jpeg))
        return LoadString(id);
    struct stat status {};
    if (!opened && (stat(path, &status) != 0 || !S_ISREG(status.st_mode)))
        return LoadString(IDS_NOT_REGULAR_FILE);
    // Neither the name nor the content tells a type to speak of.
    if (!opened || (type == nullptr && record.m_format == FileFormat::Unknown))
        return LoadString(id);
    // The content's type where it shows one, else the name's.
    std::string typeName;
    if (const char* format = FormatName(record.m_format))
        typeName = format;
    else if (type != nullptr)
        for (const char c : type->extension)
            typeName += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    else
        typeName = "movie";
    char text[160];
    std::snprintf(text, sizeof(text), LoadString(IDS_DAMAGED_FILE), typeName.c_str());
    return text;
}

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
    file.ClearDamaged();
    bool ok = Dispatch(file, format);
    m_exif.CompleteExifDate();
    // A file of another type whose layout or EXIF the reader found broken,
    // and that gave no date before the damage, is damaged, not undated.
    if (ok && format != FileFormat::Jpeg && !m_record.m_taken.Found() && file.Damaged()) {
        m_record.m_nErrorId = IDS_DAMAGED_FILE;
        ok = false;
    }
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
