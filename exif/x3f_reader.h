#pragma once

class CExifParser;
class CFileStream;
class CImageRecord;
class CJpegSections;

// CX3fReader reads Sigma X3F raw files: the directory at the file's end names
// the sections; the property list gives the capture time (TIME, seconds on
// the camera clock) and the camera's make and model, and the JPEG preview of
// newer versions carries an EXIF block, whose date wins. A section it can't
// use is skipped: the read never fails past the header.
class CX3fReader {
public:
    CX3fReader(CImageRecord& record, CExifParser& exif, CFileStream& file)
        : m_record(record), m_exif(exif), m_file(file) {}
    // False (IDS_INVALID_JPEG in the record) only without an X3F header.
    bool Read(CJpegSections& sections);

    // What is read of the property list and how many sections are looked at.
    static constexpr unsigned kMaxPropertyBytes = 64 * 1024;
    static constexpr unsigned kMaxSections = 64;

private:
    void ReadProperties(unsigned long long offset, unsigned long long length);

    CImageRecord& m_record;
    CExifParser& m_exif;
    CFileStream& m_file;
    long long m_nTime = -1; // TIME, seconds since 1970 on the camera clock; -1: none
};
