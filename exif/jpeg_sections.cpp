// The JPEG marker walk: sections up to the image data, the frame headers and
// comments decoded, the EXIF, XMP and IPTC sections handed on.

#include "jpeg_sections.h"

#include "exif_parser.h"
#include "file_stream.h"
#include "image_record.h"
#include "iptc_date.h"
#include "string_table.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

using namespace velmora;

namespace {

constexpr int kMarkerSoi = 0xD8;
constexpr int kMarkerEoi = 0xD9;
constexpr int kMarkerSos = 0xDA;
constexpr int kMarkerApp0 = 0xE0;
constexpr int kMarkerApp1 = 0xE1;
constexpr int kMarkerApp13 = 0xED;
constexpr int kMarkerCom = 0xFE;
constexpr int kMaxPaddingBytes = 6;
constexpr int kMaxCommentSection = 2000;
// A section costs one unit of the walk's budget, and one more per this many
// bytes: a file of sections costs at most about 64 MiB of reading.
constexpr std::uint32_t kBytesPerWorkUnit = 1024;
constexpr std::uint32_t kSectionBudget = 1u << 16;

constexpr int kMarkerSof0 = 0xC0;
constexpr int kMarkerSof15 = 0xCF;
constexpr int kMarkerDht = 0xC4; // in the SOF range, but no frame headers
constexpr int kMarkerJpg = 0xC8;
constexpr int kMarkerDac = 0xCC;

bool IsFrameHeader(int marker) {
    return marker >= kMarkerSof0 && marker <= kMarkerSof15 && marker != kMarkerDht &&
           marker != kMarkerJpg && marker != kMarkerDac;
}

} // namespace

CJpegSections::CJpegSections() {
    std::memset(m_sections, 0, sizeof(m_sections));
}

CJpegSections::~CJpegSections() {
    for (int i = 0; i < m_nSections; ++i)
        std::free(m_sections[i].pData);
}

void CJpegSections::ReleaseSections() {
    for (int i = 0; i < m_nSections; ++i)
        std::free(m_sections[i].pData);
    std::memset(m_sections, 0, sizeof(m_sections));
    m_nSections = 0;
}

int CJpegSections::ReadLength(CFileStream& file) {
    unsigned char bytes[2];
    if (file.Read(bytes, 2) != 2)
        return 0;
    return bytes[0] << 8 | bytes[1];
}
bool CJpegSections::ScanSections(CFileStream& file, CImageRecord& record, CExifParser& exif) {
    unsigned char soi[2];
    if (file.Read(soi, 2) != 2 || soi[0] != 0xFF || soi[1] != kMarkerSoi) {
        record.m_nErrorId = IDS_INVALID_JPEG;
        return false;
    }
    std::uint32_t sectionBudget = kSectionBudget;
    for (;;) {
        // Up to six 0xFF padding bytes may precede the marker code, none need.
        unsigned char marker = 0;
        int padding = 0;
        for (;;) {
            if (file.Read(&marker, 1) != 1) {
                record.m_nErrorId = IDS_INVALID_MARKER;
                return false;
            }
            if (marker != 0xFF)
                break;
            if (++padding > kMaxPaddingBytes) {
                record.m_nErrorId = IDS_TOO_MANY_PADDING;
                return false;
            }
        }
        // Every marker is followed by a length, the end-of-image marker too.
        const int length = ReadLength(file);
        if (length < 2) {
            record.m_nErrorId = IDS_INVALID_MARKER;
            return false;
        }
        // Editors and cameras write many sections (25 ICC profile chunks):
        // each costs a budget of its own by its size, not a place in the table.
        const std::uint32_t cost = 1 + static_cast<std::uint32_t>(length) / kBytesPerWorkUnit;
        if (cost > sectionBudget) {
            record.m_nErrorId = IDS_TOO_MANY_SECTIONS;
            return false;
        }
        sectionBudget -= cost;
        auto* data = static_cast<unsigned char*>(std::malloc(length));
        if (data == nullptr) {
            record.m_nErrorId = IDS_NO_MEMORY;
            return false;
        }
        data[0] = static_cast<unsigned char>(length >> 8);
        data[1] = static_cast<unsigned char>(length & 0xFF);
        const auto payload = static_cast<std::size_t>(length - 2);
        if (file.Read(data + 2, payload) != payload) {
            std::free(data);
            record.m_nErrorId = IDS_PREMATURE_END;
            return false;
        }
        // The first sections are kept; those beyond the table are read and
        // dropped.
        bool keep = m_nSections < kMaxSections;
        if (IsFrameHeader(marker)) {
            ParseFrameHeader(record.m_info, data, length, marker);
        } else if (marker == kMarkerEoi) {
            record.m_nErrorId = IDS_NO_IMAGE;
        } else if (marker == kMarkerApp1 && length >= 6 && std::memcmp(data + 2, "Exif", 4) == 0) {
            exif.ParseExif(data, length);
        } else if (marker == kMarkerApp0 || marker == kMarkerApp1) {
            // JFIF headers and foreign APP1 blocks (XMP) are of no use to the
            // record: dropped at once, they take no place in the table.
            if (record.m_bReadHints && marker == kMarkerApp1)
                TakeXmpSection(record, data, length);
            keep = false;
        } else if (marker == kMarkerCom) {
            ParseComment(record.m_info, data, length);
        } else if (marker == kMarkerApp13 && record.m_bReadHints && !record.m_iptcDate.Found()) {
            record.m_iptcDate = ParseIptcDate(data + 2, payload);
        }
        if (keep)
            m_sections[m_nSections++] = CJpegSection{data, marker, length};
        else
            std::free(data);
        if (marker == kMarkerEoi || marker == kMarkerSos)
            return true; // the image data begins; nothing after it is read
    }
}

// APP1 "http://ns.adobe.com/xap/1.0/\0" holds an XMP packet.
void CJpegSections::TakeXmpSection(CImageRecord& record, const unsigned char* data, int length) {
    static constexpr char kXmpId[] = "http://ns.adobe.com/xap/1.0/";
    constexpr std::size_t kIdSize = sizeof(kXmpId); // with its NUL
    const auto size = static_cast<std::size_t>(length);
    if (size >= 2 + kIdSize && std::memcmp(data + 2, kXmpId, kIdSize) == 0)
        record.TakeXmpPacket(std::string_view(reinterpret_cast<const char*>(data) + 2 + kIdSize,
                                              size - 2 - kIdSize));
}

// Frame header (SOFn) section buffer:
//   0..1  length
//   2     sample precision (unused)
//   3..4  height, big-endian
//   5..6  width, big-endian
//   7     number of components
// A header cut short yields 0 for each field it does not reach.
void CJpegSections::ParseFrameHeader(CJpegInfo& info, const unsigned char* data, int length,
                                     int marker) {
    info.m_nHeight = length >= 5 ? data[3] << 8 | data[4] : 0;
    info.m_nWidth = length >= 7 ? data[5] << 8 | data[6] : 0;
    info.m_bColor = length >= 8 && data[7] == 3 ? 1 : 0;
    info.m_nProcess = marker;
}

// The comment is taken from the first 1998 payload bytes. Control characters
// become "?"; a carriage return followed by a line feed is dropped and the line
// feed kept, deciding by the next byte of the section even past the cut.
void CJpegSections::ParseComment(CJpegInfo& info, const unsigned char* data, int length) {
    const int end = length < kMaxCommentSection ? length : kMaxCommentSection;
    int out = 0;
    for (int i = 2; i < end; ++i) {
        const unsigned char c = data[i];
        if (c == '\r') {
            if (i + 1 < length && data[i + 1] == '\n')
                continue;
            info.m_szComment[out++] = '?';
        } else if (c >= 0x20 || c == '\n' || c == '\t') {
            info.m_szComment[out++] = static_cast<char>(c);
        } else {
            info.m_szComment[out++] = '?';
        }
    }
    info.m_szComment[out] = '\0';
}
