#pragma once

#include <cstdint>
#include <vector>

class CFileStream;

// CTiffFileView shows a TIFF-structured file (raw photos of tens of megabytes)
// to the EXIF directory walker as one block of memory, while reading only the
// pieces the walker asks for. The block is an anonymous mapping of the file's
// size: pages never read cost no memory and read as zeros, and since it is not
// a mapping of the file itself, a file cut short meanwhile cannot fault it.
// The walker calls Load before it touches a range; what one file may read in
// total is bounded.
class CTiffFileView {
public:
    explicit CTiffFileView(CFileStream& file);
    ~CTiffFileView();
    CTiffFileView(const CTiffFileView&) = delete;
    CTiffFileView& operator=(const CTiffFileView&) = delete;

    // False when the file is empty or no mapping could be made.
    bool Ok() const { return m_pData != nullptr; }
    const unsigned char* Data() const { return m_pData; }
    std::uint32_t Size() const { return m_nSize; }

    // Reads the chunks of [offset, offset + length) that were not read yet.
    // False when the range leaves the file or the read budget is spent.
    bool Load(std::uint32_t offset, std::uint32_t length);

    static constexpr std::uint32_t kChunkSize = 16 * 1024;
    static constexpr std::uint64_t kReadBudget = 16 * 1024 * 1024;

private:
    CFileStream& m_file;
    unsigned char* m_pData = nullptr;
    std::uint32_t m_nSize = 0;  // TIFF offsets are 32-bit: larger files show their start
    std::vector<bool> m_loaded; // one flag per chunk
    std::uint64_t m_nBudget = kReadBudget;
};
