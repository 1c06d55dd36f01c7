#pragma once

#include <cstdint>

class CFileStream;
class CJpegFile;

// CMrwReader reads Minolta MRW raw photos: a list of blocks in front of the
// image data, one of which ("\0TTW") holds the camera's TIFF data with the
// EXIF directory. Only the block headers and that block are read.
class CMrwReader {
public:
    CMrwReader(CJpegFile& reader, CFileStream& file) : m_reader(reader), m_file(file) {}

    void Read();

    // Blocks one file may cost, and what of the TIFF block is read.
    static constexpr int kMaxBlocks = 64;
    static constexpr std::uint32_t kMaxTiffBlock = 1024 * 1024;

private:
    CJpegFile& m_reader;
    CFileStream& m_file;
};
