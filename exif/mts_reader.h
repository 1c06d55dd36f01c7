#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CFileStream;
class CImageRecord;

// CMtsReader reads AVCHD movies (.mts, .m2ts: transport packets of 192
// bytes) and plain transport streams (.ts, 188 bytes): the date taken is in
// the H.264 video itself, an SEI message that camcorders add to each access
// unit ("MDPM": local date and time and the zone's offset). It reads the
// video's first two access units, and never more than the file's first
// kReadWindow bytes.
class CMtsReader {
public:
    CMtsReader(CImageRecord& record, CFileStream& file) : m_record(record), m_file(file) {}

    void Read();

    static constexpr std::uint64_t kReadWindow = 1024 * 1024;
    // Panasonic writes the date from the second access unit on.
    static constexpr int kMaxAccessUnits = 2;

private:
    bool FindDate(const std::vector<unsigned char>& stream);
    bool ReadSei(const unsigned char* nal, std::size_t size);
    bool ReadMdpm(const unsigned char* payload, std::size_t size);

    CImageRecord& m_record;
    CFileStream& m_file;
    std::vector<unsigned char> m_rbsp;
};
