#pragma once

#include <cstdint>

class CFileStream;
class CExifParser;
class CImageRecord;

// CMrwReader reads Minolta MRW raw photos: a list of blocks in front of the
// image data, one of which ("\0TTW") holds the camera's TIFF data with the
// EXIF directory. Only the block headers and that block are read.
class CMrwReader {
public:
    CMrwReader(CImageRecord& record, CExifParser& exif, CFileStream& file)
        : m_record(record), m_exif(exif), m_file(file) {}

    void Read();

    // Blocks one file may cost, and what of the TIFF block is read.
    static constexpr int kMaxBlocks = 64;
    static constexpr std::uint32_t kMaxTiffBlock = 1024 * 1024;

private:
    CImageRecord& m_record;
    CExifParser& m_exif;
    CFileStream& m_file;
};
