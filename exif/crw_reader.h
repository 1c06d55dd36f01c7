#pragma once

#include <cstdint>

class CFileStream;
class CImageRecord;

// CCrwReader reads Canon CRW raw photos (CIFF): nested heaps, each with its
// directory at its end. It walks the directories only, reading the few
// values it uses: the TimeStamp (the camera clock's date and time), make and
// model, and the picture size; the image data is never read.
class CCrwReader {
public:
    CCrwReader(CImageRecord& record, CFileStream& file) : m_record(record), m_file(file) {}

    void Read();

    // How deep heaps nest in a file (three levels in cameras' files) and how
    // many directory entries one file may cost.
    static constexpr int kMaxDepth = 6;
    static constexpr std::uint32_t kMaxEntries = 4096;

private:
    void ReadHeap(std::uint64_t begin, std::uint64_t end, int depth);
    void ReadValue(unsigned tag, std::uint64_t offset, std::uint32_t size);

    CImageRecord& m_record;
    CFileStream& m_file;
    std::uint32_t m_nEntries = 0;
};
