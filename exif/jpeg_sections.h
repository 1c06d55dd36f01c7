#pragma once

class CExifParser;
class CFileStream;
class CImageRecord;
struct CJpegInfo;

// One kept marker section. pData holds the section from its length field on:
// bytes 0..1 the big-endian length (which counts itself), then the payload
// exactly as in the file; the buffer is exactly nLength bytes long.
struct CJpegSection {
    unsigned char* pData;
    int nMarker;
    int nLength;
};

// CJpegSections is the JPEG section walk and the table of what it keeps: it
// walks the marker sections of a JPEG stream from the start-of-image marker up
// to the image data (never reading the image data itself), keeps the first 20
// sections (reading past them, within the work budget), decodes frame headers
// and comments into the record and hands the EXIF sections to the parser. A
// JPEG file is one such stream; a RAF file holds one.
class CJpegSections {
public:
    static constexpr int kMaxSections = 20;

    CJpegSections();
    ~CJpegSections();
    CJpegSections(const CJpegSections&) = delete;
    CJpegSections& operator=(const CJpegSections&) = delete;

    // Walks the marker sections from the file's position on, into `record`
    // (the EXIF blocks through `exif`). True when the walk reached the image
    // data or the end of the image; false with the reason in the record's
    // m_nErrorId.
    bool ScanSections(CFileStream& file, CImageRecord& record, CExifParser& exif);

    // Releases every kept section and clears the table.
    void ReleaseSections();

    CJpegSection m_sections[kMaxSections];
    int m_nSections = 0;

private:
    static int ReadLength(CFileStream& file);
    static void ParseFrameHeader(CJpegInfo& info, const unsigned char* data, int length,
                                 int marker);
    static void ParseComment(CJpegInfo& info, const unsigned char* data, int length);
    static void TakeXmpSection(CImageRecord& record, const unsigned char* data, int length);
};
