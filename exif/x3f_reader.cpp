#include "x3f_reader.h"

#include "exif_parser.h"
#include "file_stream.h"
#include "image_record.h"
#include "jpeg_sections.h"
#include "ole_date.h"
#include "string_table.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Every number of an X3F file is little-endian.
std::uint32_t Le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// Header: "FOVb", version (4), unique id (16), mark bits (4), columns (4),
// rows (4), rotation (4), then version-dependent fields.
constexpr std::size_t kHeaderSize = 40;
constexpr std::size_t kColumnsAt = 28;
// Directory: "SECd", version (4), entry count (4); each entry: offset (4),
// length (4), type (4: "PROP", "IMAG", "IMA2", "CAMF").
constexpr std::size_t kDirectoryHeader = 12;
constexpr std::size_t kDirectoryEntry = 12;
// Image section: "SECi", version, type, data format, columns, rows, row size
// (4 each), then the data; format 18 is a JPEG stream.
constexpr std::size_t kImageHeader = 28;
constexpr std::uint32_t kJpegFormat = 18;
// Property list: "SECp", version, entry count, character format (0:
// UTF-16LE), reserved, length in characters (4 each); then per entry the
// character offsets of its name and value; then the characters.
constexpr std::size_t kPropertyHeader = 24;

// The NUL-ended UTF-16 text at character `at` of `chars` (ASCII kept, other
// characters as '?'), at most `most` characters.
std::string Utf16Text(const unsigned char* chars, std::size_t count, std::size_t at,
                      std::size_t most) {
    std::string text;
    for (std::size_t i = at; i < count && text.size() < most; ++i) {
        const unsigned c = chars[2 * i] | chars[2 * i + 1] << 8;
        if (c == 0)
            break;
        text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return text;
}

} // namespace

bool CX3fReader::Read(CJpegSections& sections) {
    unsigned char header[kHeaderSize];
    const std::uint64_t size = m_file.Size();
    if (m_file.Read(header, sizeof(header)) != sizeof(header) ||
        std::memcmp(header, "FOVb", 4) != 0) {
        m_record.m_nErrorId = velmora::IDS_INVALID_JPEG;
        return false;
    }
    // Without its section directory at the end the file was cut short.
    unsigned char tail[4];
    if (size < kHeaderSize + 4 || !m_file.Seek(size - 4) || m_file.Read(tail, 4) != 4) {
        m_file.MarkDamaged();
        return true;
    }
    const std::uint64_t directory = Le32(tail);
    unsigned char head[kDirectoryHeader];
    if (directory > size - 4 - kDirectoryHeader || !m_file.Seek(directory) ||
        m_file.Read(head, sizeof(head)) != sizeof(head) || std::memcmp(head, "SECd", 4) != 0) {
        m_file.MarkDamaged();
        return true;
    }
    const std::uint64_t room = (size - 4 - directory - kDirectoryHeader) / kDirectoryEntry;
    const std::uint64_t count = std::min<std::uint64_t>({Le32(head + 8), room, kMaxSections});
    std::vector<unsigned char> entries(count * kDirectoryEntry);
    if (m_file.Read(entries.data(), entries.size()) != entries.size())
        return true;
    bool haveJpeg = false;
    for (std::uint64_t i = 0; i < count; ++i) {
        const unsigned char* entry = entries.data() + i * kDirectoryEntry;
        const std::uint64_t offset = Le32(entry), length = Le32(entry + 4);
        if (offset > size || length > size - offset)
            continue;
        if (std::memcmp(entry + 8, "PROP", 4) == 0) {
            ReadProperties(offset, length);
        } else if (!haveJpeg && length > kImageHeader &&
                   (std::memcmp(entry + 8, "IMA2", 4) == 0 ||
                    std::memcmp(entry + 8, "IMAG", 4) == 0)) {
            unsigned char image[kImageHeader];
            if (!m_file.Seek(offset) || m_file.Read(image, sizeof(image)) != sizeof(image) ||
                std::memcmp(image, "SECi", 4) != 0 || Le32(image + 12) != kJpegFormat)
                continue;
            haveJpeg = true;
            // A damaged preview keeps what it gave; the raw file is still read.
            if (!sections.ScanSections(m_file, m_record, m_exif))
                sections.ReleaseSections();
        }
    }
    if (m_nTime >= 0) {
        if (const auto fields = velmora::ole::FieldsOf(m_nTime))
            m_record.TakeDate({*fields, velmora::DateSource::X3fTime, true});
    }
    // The picture is the raw image, not its preview.
    m_record.m_info.m_nWidth = static_cast<int>(Le32(header + kColumnsAt) & 0x7FFFFFFF);
    m_record.m_info.m_nHeight = static_cast<int>(Le32(header + kColumnsAt + 4) & 0x7FFFFFFF);
    return true;
}

void CX3fReader::ReadProperties(unsigned long long offset, unsigned long long length) {
    std::vector<unsigned char> bytes(std::min<unsigned long long>(length, kMaxPropertyBytes));
    if (bytes.size() < kPropertyHeader || !m_file.Seek(offset) ||
        m_file.Read(bytes.data(), bytes.size()) != bytes.size() ||
        std::memcmp(bytes.data(), "SECp", 4) != 0 || Le32(bytes.data() + 12) != 0)
        return;
    const std::size_t room = (bytes.size() - kPropertyHeader) / 8;
    const std::size_t count = std::min<std::size_t>(Le32(bytes.data() + 8), room);
    const unsigned char* chars = bytes.data() + kPropertyHeader + 8 * count;
    const std::size_t charCount = (bytes.size() - kPropertyHeader - 8 * count) / 2;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* entry = bytes.data() + kPropertyHeader + 8 * i;
        const std::string name = Utf16Text(chars, charCount, Le32(entry), 16);
        if (name != "TIME" && name != "CAMMANUF" && name != "CAMMODEL")
            continue;
        const std::string value =
            Utf16Text(chars, charCount, Le32(entry + 4), CImageRecord::kMaxDeviceName);
        if (name == "CAMMANUF") {
            m_record.SetMake(value);
        } else if (name == "CAMMODEL") {
            m_record.SetModel(value);
        } else if (!value.empty() && value.size() <= 12 &&
                   value.find_first_not_of("0123456789") == std::string::npos) {
            m_nTime = std::stoll(value);
        }
    }
}
