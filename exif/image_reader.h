#pragma once

#include "exif_parser.h"
#include "image_type.h"

#include <string>

class CFileStream;
class CImageRecord;
class CJpegSections;

// CImageReader is the one front door of the readers: it starts the record of
// a file the caller opened, tells the file's type by its first bytes (or
// takes the JPEG layout when asked), hands the file to the reader of that
// type and settles what the read leaves. Each reader fills the record alone;
// the rules that hold across readers live here: one EXIF work budget per
// file, however many blocks it holds, and a date taken that stays when damage
// after it fails the read. One front door serves many files.
class CImageReader;

// What to tell of a file the reader could not read (`path` as it was read,
// `byContent` whether it was read by its content): the reader's own message
// for a file read as JPEG or named as one; for any other file, in words of
// its type: IDS_DAMAGED_FILE with the type, or IDS_NOT_REGULAR_FILE for a
// folder, a FIFO or a link that leads nowhere.
std::string ReadFailureText(const CImageRecord& record, const char* path, bool byContent);

class CImageReader {
public:
    CImageReader(CImageRecord& record, CJpegSections& sections)
        : m_record(record), m_sections(sections), m_exif(record) {}
    CImageReader(const CImageReader&) = delete;
    CImageReader& operator=(const CImageReader&) = delete;

    // Reads the file the caller opened, `open` telling whether its Open
    // succeeded, as a JPEG file or (with `byContent`) as the type its first
    // bytes show. True when the read succeeded; false with the reason in the
    // record's m_nErrorId (0 when the file is not open, in which case the
    // record's m_info is untouched). A file of no known type fails with
    // IDS_INVALID_JPEG.
    bool ReadOpened(CFileStream& file, bool open, const char* path, bool byContent);

    // Reads the open `file` (positioned at its start) as `format`: the step
    // of ReadOpened after the open, for callers that know the layout already.
    bool Read(CFileStream& file, velmora::FileFormat format);

private:
    bool Dispatch(CFileStream& file, velmora::FileFormat format);

    CImageRecord& m_record;
    CJpegSections& m_sections; // the JPEG section walk's table, kept by the caller
    CExifParser m_exif;
};
