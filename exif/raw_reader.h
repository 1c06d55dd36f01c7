#pragma once

class CFileStream;
class CExifParser;
class CImageRecord;
class CJpegSections;

// CRawReader reads camera raw files: the TIFF-structured ones (TIFF, DNG, NEF,
// CR2, ARW, ORF, RW2 and the like) with the EXIF directory walker from byte 0,
// reading only the directories and values it visits; and RAF files through
// the JPEG their header points to, walked by the JPEG section walk.
class CRawReader {
public:
    CRawReader(CImageRecord& record, CExifParser& exif, CFileStream& file)
        : m_record(record), m_exif(exif), m_file(file) {}

    void ReadTiff();
    // Walks the embedded JPEG into `sections`; false (with the id in the
    // record) when it can't be read.
    bool ReadRaf(CJpegSections& sections);

private:
    CImageRecord& m_record;
    CExifParser& m_exif;
    CFileStream& m_file;
};
