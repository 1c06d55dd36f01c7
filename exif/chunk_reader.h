#pragma once

#include <cstdint>
#include <vector>

class CFileStream;
class CJpegFile;

// CChunkReader reads the two chunk-list image formats, WebP and PNG: it skips
// the image chunks by their sizes and reads the chunk that gives the picture
// size and the one that holds the EXIF block (TIFF data, with or without
// "Exif\0\0" in front).
class CChunkReader {
public:
    CChunkReader(CJpegFile& reader, CFileStream& file) : m_reader(reader), m_file(file) {}

    void ReadWebp();
    void ReadPng();

    static constexpr int kMaxChunks = 4096;
    // What one EXIF chunk may hold; larger ones are not read.
    static constexpr std::uint32_t kMaxExifChunk = 4 * 1024 * 1024;

private:
    bool ReadChunk(std::uint64_t offset, std::uint32_t size, std::size_t limit);
    void ReadWebpSize(const char* type);
    void ParseExifChunk(std::uint32_t size);

    CJpegFile& m_reader;
    CFileStream& m_file;
    std::vector<unsigned char> m_bytes;
};
