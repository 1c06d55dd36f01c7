#pragma once

class CFileStream;
class CJpegFile;

// CRawReader reads camera raw files: the TIFF-structured ones (TIFF, DNG, NEF,
// CR2, ARW, ORF, RW2 and the like) with the EXIF directory walker from byte 0,
// reading only the directories and values it visits; and RAF files through
// the JPEG their header points to.
class CRawReader {
public:
    CRawReader(CJpegFile& reader, CFileStream& file) : m_reader(reader), m_file(file) {}

    void ReadTiff();
    // False (with the id in the reader) when the embedded JPEG can't be read.
    bool ReadRaf();

private:
    CJpegFile& m_reader;
    CFileStream& m_file;
};
