#include "jpeg_file.h"

#include "avi_reader.h"
#include "chunk_reader.h"
#include "crw_reader.h"
#include "file_stream.h"
#include "heif_reader.h"
#include "iptc_date.h"
#include "movie_reader.h"
#include "mrw_reader.h"
#include "mts_reader.h"
#include "raw_reader.h"
#include "string_table.h"
#include "xmp_date.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

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

CJpegFile::CJpegFile() {
    std::memset(m_sections, 0, sizeof(m_sections));
    std::memset(&m_info, 0, sizeof(m_info));
}

CJpegFile::~CJpegFile() {
    for (int i = 0; i < m_nSections; ++i)
        std::free(m_sections[i].pData);
}

void CJpegFile::ReleaseSections() {
    for (int i = 0; i < m_nSections; ++i)
        std::free(m_sections[i].pData);
    std::memset(m_sections, 0, sizeof(m_sections));
    m_nSections = 0;
}

void CJpegFile::FreeSections() {
    ReleaseSections();
    std::memset(&m_info, 0, sizeof(m_info));
    m_taken = {};
    m_xmpDate = {};
    m_iptcDate = {};
    ResetDeviceFacts();
}

void CJpegFile::ResetDeviceFacts() {
    m_gpsTime = {};
    m_strSerial.clear();
    m_thumbnail.clear();
}

void CJpegFile::SetTaken(const CFoundDate& date) {
    m_taken = date;
    if (date.source == DateSource::MovieHeader) {
        m_info.m_dtTaken = ole::FromTime(static_cast<std::time_t>(ole::SecondsOf(date.fields)));
    } else {
        m_info.m_dtTaken = ole::FromFields(date.fields).value_or(0.0);
    }
}

void CJpegFile::TakeXmpPacket(std::string_view packet) {
    if (m_xmpDate.Found() && m_xmpDate.bTime)
        return;
    m_xmpDate = PreferDate(m_xmpDate, ParseXmpDate(packet));
}

bool CJpegFile::LoadJpeg(const char* path) {
    return Load(path, false);
}

bool CJpegFile::LoadImage(const char* path) {
    return Load(path, true);
}

bool CJpegFile::Load(const char* path, bool byContent) {
    CFileStream file;
    const bool open = file.Open(path);
    return LoadOpened(file, open, path, byContent);
}

bool CJpegFile::LoadOpened(CFileStream& file, bool open, const char* path, bool byContent) {
    m_nErrorId = 0;
    m_nFileDevice = 0;
    m_nFileInode = 0;
    m_nBytesRead = 0;
    m_format = FileFormat::Unknown;
    // The dates are no part of the record kept for an unopened file.
    m_taken = {};
    m_xmpDate = {};
    m_iptcDate = {};
    ResetDeviceFacts();
    if (!open)
        return false;
    m_nFileDevice = file.EntryDevice();
    m_nFileInode = file.EntryInode();
    FreeSections();
    const std::string fullPath = CFileStream::FullPath(path);
    std::strncpy(m_info.m_szFileName, fullPath.c_str(), sizeof(m_info.m_szFileName) - 1);
    m_info.m_fileTime = file.ModificationTime();
    FileFormat format = FileFormat::Jpeg;
    if (byContent) {
        unsigned char head[kFormatProbeSize];
        format = DetectFileFormat(head, file.Read(head, sizeof(head)), file.Size());
        file.Seek(0);
    }
    const bool ok = ReadImage(file, format);
    m_nBytesRead = file.BytesRead();
    return ok;
}

bool CJpegFile::ReadImage(CFileStream& file, FileFormat format) {
    // One budget for every EXIF block of the file: a file of many blocks
    // costs no more than a file of one.
    m_nEntryBudget = kExifWorkBudget;
    m_tiffDimensions = {};
    std::fill(std::begin(m_exifOffsets), std::end(m_exifOffsets), kNoOffset);
    std::fill(std::begin(m_exifMillis), std::end(m_exifMillis), -1);
    m_format = format;
    bool ok = true;
    switch (format) {
    case FileFormat::Jpeg:
        ok = ScanSections(file);
        break;
    case FileFormat::Tiff:
        CRawReader(*this, file).ReadTiff();
        break;
    case FileFormat::Raf:
        ok = CRawReader(*this, file).ReadRaf();
        break;
    case FileFormat::Heif:
        CHeifReader(*this, file).Read();
        break;
    case FileFormat::Cr3:
    case FileFormat::Movie:
        CMovieReader(*this, file).Read();
        break;
    case FileFormat::WebP:
        CChunkReader(*this, file).ReadWebp();
        break;
    case FileFormat::Png:
        CChunkReader(*this, file).ReadPng();
        break;
    case FileFormat::Avi:
        CAviReader(*this, file).Read();
        break;
    case FileFormat::Mts:
        CMtsReader(*this, file).Read();
        break;
    case FileFormat::Crw:
        CCrwReader(*this, file).Read();
        break;
    case FileFormat::Mrw:
        CMrwReader(*this, file).Read();
        break;
    case FileFormat::BigTiff:
    case FileFormat::Unknown:
        m_nErrorId = IDS_INVALID_JPEG;
        ok = false;
        break;
    }
    CompleteExifDate();
    if (!ok) {
        // Damage after a whole EXIF block (a file recovered from a broken
        // card) keeps the date read from it; the failure still stands.
        if (m_taken.Found())
            ReleaseSections();
        else
            FreeSections();
        return false;
    }
    if (format != FileFormat::Jpeg)
        FillDimensionsFromTiff();
    return true;
}

int CJpegFile::ReadLength(CFileStream& file) {
    unsigned char bytes[2];
    if (file.Read(bytes, 2) != 2)
        return 0;
    return bytes[0] << 8 | bytes[1];
}

bool CJpegFile::ScanSections(CFileStream& file) {
    unsigned char soi[2];
    if (file.Read(soi, 2) != 2 || soi[0] != 0xFF || soi[1] != kMarkerSoi) {
        m_nErrorId = IDS_INVALID_JPEG;
        return false;
    }
    std::uint32_t sectionBudget = kSectionBudget;
    for (;;) {
        // Up to six 0xFF padding bytes may precede the marker code, none need.
        unsigned char marker = 0;
        int padding = 0;
        for (;;) {
            if (file.Read(&marker, 1) != 1) {
                m_nErrorId = IDS_INVALID_MARKER;
                return false;
            }
            if (marker != 0xFF)
                break;
            if (++padding > kMaxPaddingBytes) {
                m_nErrorId = IDS_TOO_MANY_PADDING;
                return false;
            }
        }
        // Every marker is followed by a length, the end-of-image marker too.
        const int length = ReadLength(file);
        if (length < 2) {
            m_nErrorId = IDS_INVALID_MARKER;
            return false;
        }
        // Editors and cameras write many sections (25 ICC profile chunks):
        // each costs a budget of its own by its size, not a place in the table.
        const std::uint32_t cost = 1 + static_cast<std::uint32_t>(length) / kBytesPerWorkUnit;
        if (cost > sectionBudget) {
            m_nErrorId = IDS_TOO_MANY_SECTIONS;
            return false;
        }
        sectionBudget -= cost;
        auto* data = static_cast<unsigned char*>(std::malloc(length));
        if (data == nullptr) {
            m_nErrorId = IDS_NO_MEMORY;
            return false;
        }
        data[0] = static_cast<unsigned char>(length >> 8);
        data[1] = static_cast<unsigned char>(length & 0xFF);
        const auto payload = static_cast<std::size_t>(length - 2);
        if (file.Read(data + 2, payload) != payload) {
            std::free(data);
            m_nErrorId = IDS_PREMATURE_END;
            return false;
        }
        // The first sections are kept; those beyond the table are read and
        // dropped.
        bool keep = m_nSections < kMaxSections;
        if (IsFrameHeader(marker)) {
            ParseFrameHeader(data, length, marker);
        } else if (marker == kMarkerEoi) {
            m_nErrorId = IDS_NO_IMAGE;
        } else if (marker == kMarkerApp1 && length >= 6 && std::memcmp(data + 2, "Exif", 4) == 0) {
            ParseExif(data, length);
        } else if (marker == kMarkerApp0 || marker == kMarkerApp1) {
            // JFIF headers and foreign APP1 blocks (XMP) are of no use to the
            // record: dropped at once, they take no place in the table.
            if (m_bReadHints && marker == kMarkerApp1)
                TakeXmpSection(data, length);
            keep = false;
        } else if (marker == kMarkerCom) {
            ParseComment(data, length);
        } else if (marker == kMarkerApp13 && m_bReadHints && !m_iptcDate.Found()) {
            m_iptcDate = ParseIptcDate(data + 2, payload);
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
void CJpegFile::TakeXmpSection(const unsigned char* data, int length) {
    static constexpr char kXmpId[] = "http://ns.adobe.com/xap/1.0/";
    constexpr std::size_t kIdSize = sizeof(kXmpId); // with its NUL
    const auto size = static_cast<std::size_t>(length);
    if (size >= 2 + kIdSize && std::memcmp(data + 2, kXmpId, kIdSize) == 0)
        TakeXmpPacket(std::string_view(reinterpret_cast<const char*>(data) + 2 + kIdSize,
                                       size - 2 - kIdSize));
}

// Frame header (SOFn) section buffer:
//   0..1  length
//   2     sample precision (unused)
//   3..4  height, big-endian
//   5..6  width, big-endian
//   7     number of components
// A header cut short yields 0 for each field it does not reach.
void CJpegFile::ParseFrameHeader(const unsigned char* data, int length, int marker) {
    m_info.m_nHeight = length >= 5 ? data[3] << 8 | data[4] : 0;
    m_info.m_nWidth = length >= 7 ? data[5] << 8 | data[6] : 0;
    m_info.m_bColor = length >= 8 && data[7] == 3 ? 1 : 0;
    m_info.m_nProcess = marker;
}

// The comment is taken from the first 1998 payload bytes. Control characters
// become "?"; a carriage return followed by a line feed is dropped and the line
// feed kept, deciding by the next byte of the section even past the cut.
void CJpegFile::ParseComment(const unsigned char* data, int length) {
    const int end = length < kMaxCommentSection ? length : kMaxCommentSection;
    int out = 0;
    for (int i = 2; i < end; ++i) {
        const unsigned char c = data[i];
        if (c == '\r') {
            if (i + 1 < length && data[i + 1] == '\n')
                continue;
            m_info.m_szComment[out++] = '?';
        } else if (c >= 0x20 || c == '\n' || c == '\t') {
            m_info.m_szComment[out++] = static_cast<char>(c);
        } else {
            m_info.m_szComment[out++] = '?';
        }
    }
    m_info.m_szComment[out] = '\0';
}
