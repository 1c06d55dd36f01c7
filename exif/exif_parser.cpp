// The EXIF parser: decodes the TIFF-structured directories of an EXIF block
// into the camera fields and dates of the record. Every read goes through an
// offset checked against the TIFF data's size, in a form that cannot wrap.

#include "exif_parser.h"

#include "image_record.h"
#include "ole_date.h"
#include "string_table.h"
#include "tiff_file_view.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

using namespace velmora;

// Type 13 (IFD) is an offset like a LONG: some drone and thermal cameras
// store the Exif and GPS pointers so.
const int g_formatSizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};

namespace {

// Parse state of one EXIF block, reset at its start and read at its end to
// derive the sensor width.
double s_focalPlaneXRes = 0;
double s_focalPlaneUnitMm = 0;
int s_maxExifDimension = 0;

constexpr int kMaxNestingLevel = 4;
constexpr std::uint32_t kEntrySize = 12;
// A comment is the one text read to its very end: its trailing blanks cost
// one unit of the work budget per 64.
constexpr std::uint32_t kBlanksPerWorkUnit = 64;
// What the walk of a whole file reads of one value: far more than any value
// the record uses, and it keeps a huge comment of a file from being read.
constexpr std::uint32_t kMaxValueRead = 64 * 1024;
// TIFF magic numbers: 42, and those of raw variants with the TIFF layout.
constexpr unsigned kTiffMagic = 42;
constexpr unsigned kOrfMagic = 0x4F52;  // "IIRO", "MMOR"
constexpr unsigned kOrfMagic2 = 0x5352; // "IIRS"
constexpr unsigned kRw2Magic = 0x55;
// A date text is "YYYY-MM-DD HH:MM:SS" and a few blanks; anything longer is
// not a date, and need not be read to its end.
constexpr std::uint32_t kMaxDateText = 64;

enum Format {
    kFormatByte = 1,
    kFormatAscii = 2,
    kFormatShort = 3,
    kFormatLong = 4,
    kFormatRational = 5,
    kFormatSByte = 6,
    kFormatUndefined = 7,
    kFormatSShort = 8,
    kFormatSLong = 9,
    kFormatSRational = 10,
    kFormatFloat = 11,
    kFormatDouble = 12,
    kFormatIfd = 13,
    kMaxFormat = 13,
};

enum Tag {
    kTagImageWidth = 0x0100,
    kTagImageLength = 0x0101,
    kTagMake = 0x010F,
    kTagModel = 0x0110,
    kTagOrientation = 0x0112,
    kTagDateTime = 0x0132,
    kTagThumbnailOffset = 0x0201, // JPEGInterchangeFormat
    kTagXmp = 0x02BC,             // XMP packet of TIFF-based files
    kTagThumbnailLength = 0x0202, // JPEGInterchangeFormatLength
    kTagExposureTime = 0x829A,
    kTagFNumber = 0x829D,
    kTagExifOffset = 0x8769,
    kTagExposureProgram = 0x8822,
    kTagGpsInfo = 0x8825,
    kTagIsoSpeedRatings = 0x8827,
    kTagDateTimeOriginal = 0x9003,
    kTagDateTimeDigitized = 0x9004,
    kTagOffsetTime = 0x9010,
    kTagOffsetTimeOriginal = 0x9011,
    kTagOffsetTimeDigitized = 0x9012,
    kTagShutterSpeedValue = 0x9201,
    kTagApertureValue = 0x9202,
    kTagExposureBiasValue = 0x9204,
    kTagMaxApertureValue = 0x9205,
    kTagSubjectDistance = 0x9206,
    kTagMeteringMode = 0x9207,
    kTagLightSource = 0x9208,
    kTagFlash = 0x9209,
    kTagFocalLength = 0x920A,
    kTagUserComment = 0x9286,
    kTagSubSecTime = 0x9290,
    kTagSubSecTimeOriginal = 0x9291,
    kTagSubSecTimeDigitized = 0x9292,
    kTagExifImageWidth = 0xA002,
    kTagExifImageLength = 0xA003,
    kTagInteroperabilityOffset = 0xA005,
    kTagFocalPlaneXResolution = 0xA20E,
    kTagFocalPlaneResolutionUnit = 0xA210,
    kTagBodySerialNumber = 0xA431,
    kTagLensModel = 0xA434,
    kTagCameraSerialNumber = 0xC62F, // the raw-file form, in IFD0
};

// Tags of the GPS directory: their numbers mean other things elsewhere.
enum GpsTag {
    kGpsTimeStamp = 0x0007,
    kGpsDateStamp = 0x001D,
};

// A serial number is short; a longer text is cut, and no more of it read.
constexpr std::size_t kMaxSerial = 63;
constexpr std::uint32_t kMaxSerialRead = 256;

constexpr std::size_t kMaxUserComment = 199;

// SubSecTime digits are the decimal fraction of the second ("358" = .358,
// "20" = .20); -1 for a text that is not such digits.
int SubSecondMillis(std::string_view text) {
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (text.empty())
        return -1;
    int millis = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        if (i < 3)
            millis += (text[i] - '0') * (i == 0 ? 100 : i == 1 ? 10 : 1);
    }
    return millis;
}

// The value's bytes up to its first zero byte or the end of its byte count,
// at most `limit` of them: a text is never read further than its use needs.
std::string ValueText(const unsigned char* value, std::uint32_t byteCount,
                      std::uint32_t limit = UINT32_MAX) {
    const auto* p = reinterpret_cast<const char*>(value);
    return std::string(p, strnlen(p, std::min(byteCount, limit)));
}

template <std::size_t N> void CopyText(char (&field)[N], const std::string& text) {
    const std::size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// A value truncated toward zero and kept to its low 32 bits, so that an
// unsigned long of 0xFFFFFFFF reads as -1; values no integer can hold give 0.
int TruncateToInt(double value) {
    constexpr double kLimit = 9.2e18;
    if (!(value > -kLimit && value < kLimit))
        return 0;
    return static_cast<int>(static_cast<std::int64_t>(value));
}

double FocalPlaneUnitMm(int unit, double current) {
    switch (unit) {
    case 1: // no unit given: taken as inches, as cameras mean it
    case 2:
        return 25.4;
    case 3:
        return 10;
    case 4:
        return 1;
    case 5:
        return 0.001;
    default:
        return current;
    }
}

} // namespace

// The GPS date and time of day, as far as one GPS directory gave them.
struct CExifParser::GpsParts {
    ole::DateFields fields;
    int nMillis = 0;
    bool bDate = false;
    bool bTime = false;

    CFoundDate Time() const {
        CFoundDate time;
        if (!bDate || !bTime || !ole::FromFields(fields))
            return time;
        time.fields = fields;
        time.source = DateSource::GpsTime;
        time.bTime = true;
        time.nOffset = 0;
        time.nMillis = static_cast<std::int16_t>(nMillis);
        return time;
    }
};

unsigned CExifParser::GetShort(const unsigned char* p) const {
    return m_bMotorola ? unsigned(p[0]) << 8 | p[1] : unsigned(p[1]) << 8 | p[0];
}

int CExifParser::GetLong(const unsigned char* p) const {
    const std::uint32_t v = m_bMotorola ? std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 |
                                              std::uint32_t(p[2]) << 8 | p[3]
                                        : std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 |
                                              std::uint32_t(p[1]) << 8 | p[0];
    return static_cast<int>(v);
}

// The first component of a value as a number. `available` is how many bytes of
// TIFF data lie from `value` on; a component that does not fit converts to 0.
double CExifParser::ConvertValue(const unsigned char* value, int format,
                                 std::uint32_t available) const {
    if (format < 0 || format > kMaxFormat || available < std::uint32_t(g_formatSizes[format]))
        return 0;
    switch (format) {
    case kFormatByte:
        return value[0];
    case kFormatShort:
        return GetShort(value);
    case kFormatLong:
    case kFormatIfd:
        return static_cast<std::uint32_t>(GetLong(value));
    case kFormatRational:
    case kFormatSRational: {
        const int denominator = GetLong(value + 4);
        return denominator == 0 ? 0.0 : double(GetLong(value)) / denominator;
    }
    case kFormatSByte:
        return static_cast<signed char>(value[0]);
    case kFormatSShort:
        return static_cast<short>(GetShort(value));
    case kFormatSLong:
        return GetLong(value);
    case kFormatFloat: {
        const std::uint32_t bits = static_cast<std::uint32_t>(GetLong(value));
        float f;
        std::memcpy(&f, &bits, sizeof(f));
        return f;
    }
    case kFormatDouble: {
        const std::uint64_t high =
            static_cast<std::uint32_t>(GetLong(value + (m_bMotorola ? 0 : 4)));
        const std::uint64_t low =
            static_cast<std::uint32_t>(GetLong(value + (m_bMotorola ? 4 : 0)));
        const std::uint64_t bits = high << 32 | low;
        double d;
        std::memcpy(&d, &bits, sizeof(d));
        return d;
    }
    default:
        return 0;
    }
}

// One budget for every EXIF block of the file: a file of many blocks costs no
// more than a file of one.
void CExifParser::BeginFile() {
    m_nEntryBudget = kExifWorkBudget;
    m_tiffDimensions = {};
    std::fill(std::begin(m_exifOffsets), std::end(m_exifOffsets), kNoOffset);
    std::fill(std::begin(m_exifMillis), std::end(m_exifMillis), -1);
}

// APP1 EXIF section buffer:
//   0..1    length (big-endian, counts itself)
//   2..7    "Exif\0\0"
//   8..     TIFF data; every offset in the block counts from its first byte
void CExifParser::ParseExif(const unsigned char* data, int length) {
    if (length < 8 || std::memcmp(data + 2, "Exif\0\0", 6) != 0) {
        m_record.m_nErrorId = IDS_INCORRECT_EXIF;
        return;
    }
    ParseTiff(data + 8, static_cast<std::uint32_t>(length - 8));
    CopyThumbnail(data + 8, static_cast<std::uint32_t>(length - 8));
}

// The thumbnail IFD1 names, when it lies inside the block and is a JPEG
// stream; the first of the file's blocks that has one gives it.
void CExifParser::CopyThumbnail(const unsigned char* tiff, std::uint32_t size) {
    const std::uint32_t offset = m_nThumbOffset;
    const std::uint32_t length = m_nThumbLength;
    if (!m_record.m_bReadThumbnail || !m_record.m_thumbnail.empty() || length < 2 ||
        length > CImageRecord::kMaxThumbnail || offset > size || length > size - offset ||
        tiff[offset] != 0xFF || tiff[offset + 1] != 0xD8)
        return;
    m_record.m_thumbnail.assign(tiff + offset, tiff + offset + length);
}

void CExifParser::ParseEmbeddedExif(const unsigned char* data, std::uint32_t size) {
    if (size >= 6 && std::memcmp(data, "Exif\0\0", 6) == 0)
        ParseTiff(data + 6, size - 6);
    else
        ParseTiff(data, size);
}

void CExifParser::ParseTiffFile(CTiffFileView& view) {
    m_pTiffView = &view;
    ParseTiff(view.Data(), view.Size(), true);
    m_pTiffView = nullptr;
}

// While a whole file is walked, bytes are read in before they are used; a
// range that cannot be read counts as lying outside the data.
bool CExifParser::Fetch(std::uint32_t offset, std::uint32_t length) const {
    return m_pTiffView == nullptr || m_pTiffView->Load(offset, length);
}

// TIFF header:
//   0..1  "II" (little-endian) or "MM" (big-endian)
//   2..3  42 (or a raw variant's magic number)
//   4..7  offset of the first directory
void CExifParser::ParseTiff(const unsigned char* tiff, std::uint32_t size, bool rawMagic) {
    s_focalPlaneXRes = 0;
    s_focalPlaneUnitMm = 0;
    s_maxExifDimension = 0;
    m_nThumbOffset = 0;
    m_nThumbLength = 0;

    if (size < 8 || !Fetch(0, 8)) {
        m_record.m_nErrorId = IDS_INCORRECT_EXIF;
        return;
    }
    if (tiff[0] == 'I' && tiff[1] == 'I') {
        m_bMotorola = 0;
    } else if (tiff[0] == 'M' && tiff[1] == 'M') {
        m_bMotorola = 1;
    } else {
        m_record.m_nErrorId = IDS_INCORRECT_EXIF;
        return;
    }
    const unsigned magic = GetShort(tiff + 2);
    if (magic != kTiffMagic &&
        !(rawMagic && (magic == kOrfMagic || magic == kOrfMagic2 || magic == kRw2Magic))) {
        m_record.m_nErrorId = IDS_INCORRECT_EXIF;
        return;
    }
    const auto firstOffset = static_cast<std::uint32_t>(GetLong(tiff + 4));

    m_walkedLevels.clear();
    ParseIfd(firstOffset, tiff, size, 0);

    if (s_focalPlaneXRes != 0) {
        m_record.m_info.m_fCcdWidth =
            static_cast<float>(s_maxExifDimension * s_focalPlaneUnitMm / s_focalPlaneXRes);
    }
}

// The offset and fraction of the second that belong to the chosen EXIF date,
// unless its own text carried them.
void CExifParser::CompleteExifDate() {
    CompleteExifDate(m_record.m_taken);
    CompleteExifDate(m_record.m_takenInYears);
}

void CExifParser::CompleteExifDate(CFoundDate& date) const {
    int group = -1;
    switch (date.source) {
    case DateSource::ExifDateTime:
        group = 0;
        break;
    case DateSource::ExifOriginal:
        group = 1;
        break;
    case DateSource::ExifDigitized:
        group = 2;
        break;
    default:
        return;
    }
    if (!date.HasOffset())
        date.nOffset = m_exifOffsets[group];
    if (date.nMillis == 0 && m_exifMillis[group] > 0)
        date.nMillis = static_cast<std::int16_t>(m_exifMillis[group]);
}

// The container gave no picture size: take the one the TIFF directories name.
void CExifParser::FillDimensionsFromTiff() {
    const TiffDimensions& d = m_tiffDimensions;
    if (m_record.m_info.m_nWidth == 0 && m_record.m_info.m_nHeight == 0) {
        m_record.m_info.m_nWidth = d.nExifWidth > 0 ? d.nExifWidth : d.nImageWidth;
        m_record.m_info.m_nHeight = d.nExifHeight > 0 ? d.nExifHeight : d.nImageHeight;
    }
}

// Directory layout:
//   0..1             entry count N
//   2 + 12*i         entry i: tag (2), format (2), component count (4), value or
//                    offset of the value (4)
//   2 + 12*N         offset of the next directory (4), 0 = none; may be cut off
//                    by the end of the data
void CExifParser::ParseIfd(std::uint32_t dirOffset, const unsigned char* base, std::uint32_t size,
                           int level, IfdKind kind) {
    if (level > kMaxNestingLevel) {
        m_record.m_nErrorId = IDS_NESTING_EXCEEDED;
        return;
    }
    if (size < 2 || dirOffset > size - 2 || !Fetch(dirOffset, 2)) {
        m_record.m_nErrorId = IDS_ILLEGAL_DIRECTORY;
        return;
    }
    // A directory reached again at the same level would only repeat itself;
    // skipping it keeps crafted blocks from multiplying the walk.
    const unsigned char levelBit = static_cast<unsigned char>(1u << level);
    if (m_walkedLevels[dirOffset] & levelBit)
        return;
    m_walkedLevels[dirOffset] |= levelBit;

    const std::uint32_t count = GetShort(base + dirOffset);
    const std::uint64_t dirEnd = std::uint64_t(dirOffset) + 2 + kEntrySize * count;
    const bool roomForLink = dirEnd + 4 <= size;
    if ((!roomForLink && dirEnd + 2 != size && dirEnd != size) ||
        !Fetch(dirOffset,
               static_cast<std::uint32_t>(std::min<std::uint64_t>(dirEnd + 4, size) - dirOffset))) {
        m_record.m_nErrorId = IDS_ILLEGAL_DIRECTORY;
        return;
    }
    GpsParts gps;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (m_nEntryBudget == 0) {
            m_record.m_nErrorId = IDS_NESTING_EXCEEDED;
            return;
        }
        --m_nEntryBudget;
        const std::uint32_t entryOffset = dirOffset + 2 + kEntrySize * i;
        const unsigned char* entry = base + entryOffset;
        const int tag = static_cast<int>(GetShort(entry));
        const int format = static_cast<int>(GetShort(entry + 2));
        const auto components = static_cast<std::uint32_t>(GetLong(entry + 4));
        if (format > kMaxFormat)
            continue;
        const std::uint64_t byteCount = std::uint64_t(components) * g_formatSizes[format];
        std::uint32_t valueOffset = entryOffset + 8;
        auto valueBytes = static_cast<std::uint32_t>(byteCount);
        if (byteCount > 4) {
            valueOffset = static_cast<std::uint32_t>(GetLong(entry + 8));
            if (byteCount > size || valueOffset > size - byteCount)
                continue;
            if (m_pTiffView != nullptr)
                valueBytes = std::min(valueBytes, kMaxValueRead);
            if (!Fetch(valueOffset, valueBytes))
                continue;
        }
        if (kind == IfdKind::Gps)
            ApplyGpsTag(tag, format, base + valueOffset, valueBytes, gps);
        else
            ApplyTag(tag, format, base + valueOffset, valueBytes, size - valueOffset, base, size,
                     level, kind);
    }
    if (kind == IfdKind::Gps) {
        // A GPS directory has no successor: nothing behind it is taken for IFD0.
        if (!m_record.m_gpsTime.Found())
            m_record.m_gpsTime = gps.Time();
        return;
    }
    if (roomForLink) {
        const auto next = static_cast<std::uint32_t>(GetLong(base + dirEnd));
        if (next != 0 && next <= size)
            ParseIfd(next, base, size, level + 1,
                     level == 0 && kind == IfdKind::Main ? IfdKind::Thumbnail : IfdKind::Main);
    }
}

// GPSDateStamp "YYYY:MM:DD"; GPSTimeStamp hour, minute, second as rationals,
// the second perhaps with a fraction. A part that does not read keeps none.
void CExifParser::ApplyGpsTag(int tag, int format, const unsigned char* value,
                              std::uint32_t byteCount, GpsParts& parts) const {
    if (tag == kGpsDateStamp && format == kFormatAscii) {
        std::string text = ValueText(value, byteCount, 16);
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        const auto digits = [&text](std::size_t at, std::size_t n) {
            int number = 0;
            for (std::size_t i = at; i < at + n; ++i) {
                if (text[i] < '0' || text[i] > '9')
                    return -1;
                number = number * 10 + (text[i] - '0');
            }
            return number;
        };
        if (text.size() != 10 || text[4] != ':' || text[7] != ':')
            return;
        const int year = digits(0, 4), month = digits(5, 2), day = digits(8, 2);
        if (year < 0 || month < 0 || day < 0 || !ole::FromFields({year, month, day, 0, 0, 0}))
            return;
        parts.fields.year = year;
        parts.fields.month = month;
        parts.fields.day = day;
        parts.bDate = true;
    } else if (tag == kGpsTimeStamp && format == kFormatRational && byteCount >= 24) {
        std::uint64_t part[3][2];
        for (int i = 0; i < 3; ++i) {
            part[i][0] = static_cast<std::uint32_t>(GetLong(value + 8 * i));
            part[i][1] = static_cast<std::uint32_t>(GetLong(value + 8 * i + 4));
            if (part[i][1] == 0)
                return;
        }
        // Hours and minutes are whole; the second is kept to the millisecond.
        const std::uint64_t millis = part[2][0] * 1000 / part[2][1];
        if (part[0][0] % part[0][1] != 0 || part[1][0] % part[1][1] != 0 ||
            part[0][0] / part[0][1] > 23 || part[1][0] / part[1][1] > 59 || millis >= 60000)
            return;
        parts.fields.hour = static_cast<int>(part[0][0] / part[0][1]);
        parts.fields.minute = static_cast<int>(part[1][0] / part[1][1]);
        parts.fields.second = static_cast<int>(millis / 1000);
        parts.nMillis = static_cast<int>(millis % 1000);
        parts.bTime = true;
    }
}

void CExifParser::ApplyTag(int tag, int format, const unsigned char* value, std::uint32_t byteCount,
                           std::uint32_t available, const unsigned char* base, std::uint32_t size,
                           int level, IfdKind kind) {
    const auto number = [&] { return ConvertValue(value, format, available); };
    const auto integer = [&] { return TruncateToInt(number()); };
    const auto date = [&](DateSource source) {
        const std::string text = ValueText(value, byteCount, kMaxDateText + 1);
        return text.size() > kMaxDateText ? CFoundDate{} : ParseDateText(text, source);
    };
    switch (tag) {
    case kTagImageWidth:
        m_tiffDimensions.nImageWidth = std::max(m_tiffDimensions.nImageWidth, integer());
        break;
    case kTagImageLength:
        m_tiffDimensions.nImageHeight = std::max(m_tiffDimensions.nImageHeight, integer());
        break;
    case kTagMake:
        m_record.SetMake(ValueText(value, byteCount, CImageRecord::kMaxDeviceName));
        break;
    case kTagModel:
        m_record.SetModel(ValueText(value, byteCount, CImageRecord::kMaxDeviceName));
        break;
    case kTagOrientation: {
        const int orientation = integer();
        m_record.m_info.m_nOrientation = orientation >= 1 && orientation <= 8 ? orientation : 0;
        break;
    }
    // Only IFD1's are the thumbnail's: elsewhere they may name a full image.
    case kTagThumbnailOffset:
    case kTagThumbnailLength:
        if (kind == IfdKind::Thumbnail && (format == kFormatLong || format == kFormatShort)) {
            const auto number32 = static_cast<std::uint32_t>(number());
            (tag == kTagThumbnailOffset ? m_nThumbOffset : m_nThumbLength) = number32;
        }
        break;
    // DateTime fills the date, DateTimeOriginal replaces it, DateTimeDigitized
    // fills in; a text that is no date (blank, zeros) wipes nothing.
    case kTagDateTimeOriginal:
        if (const CFoundDate taken = date(DateSource::ExifOriginal); taken.Found())
            m_record.SetTaken(taken);
        break;
    case kTagDateTime:
    case kTagDateTimeDigitized:
        // The first date found wins; its text is not even read once there is
        // one within the named years.
        if (!m_record.m_taken.Found() ||
            (!InDatedYears(m_record.m_taken) && !m_record.m_takenInYears.Found()))
            m_record.TakeDate(
                date(tag == kTagDateTime ? DateSource::ExifDateTime : DateSource::ExifDigitized));
        break;
    case kTagOffsetTime:
    case kTagOffsetTimeOriginal:
    case kTagOffsetTimeDigitized:
        m_exifOffsets[tag - kTagOffsetTime] =
            ParseOffsetText(ValueText(value, byteCount, kMaxDateText));
        break;
    case kTagSubSecTime:
    case kTagSubSecTimeOriginal:
    case kTagSubSecTimeDigitized:
        m_exifMillis[tag - kTagSubSecTime] = SubSecondMillis(ValueText(value, byteCount, 16));
        break;
    // Only undated files use it, and only a whole file's walk reads it (an
    // EXIF block of a JPEG has its own XMP section).
    case kTagXmp:
        if (m_record.m_bReadHints && m_pTiffView != nullptr &&
            (format == kFormatByte || format == kFormatUndefined || format == kFormatAscii))
            m_record.TakeXmpPacket(
                std::string_view(reinterpret_cast<const char*>(value), byteCount));
        break;
    case kTagExposureTime:
        m_record.m_info.m_fExposureTime = static_cast<float>(number());
        break;
    case kTagFNumber:
        m_record.m_info.m_fAperture = static_cast<float>(number());
        break;
    case kTagExifOffset:
    case kTagInteroperabilityOffset:
        if (available >= 4) {
            const auto offset = static_cast<std::uint32_t>(GetLong(value));
            if (offset <= size)
                ParseIfd(offset, base, size, level + 1);
        }
        break;
    case kTagGpsInfo:
        if ((format == kFormatLong || format == kFormatIfd) && available >= 4) {
            const auto offset = static_cast<std::uint32_t>(GetLong(value));
            if (offset <= size)
                ParseIfd(offset, base, size, level + 1, IfdKind::Gps);
        }
        break;
    case kTagBodySerialNumber:
    case kTagCameraSerialNumber:
        if (format == kFormatAscii || format == kFormatByte || format == kFormatUndefined)
            ApplySerial(value, byteCount, tag == kTagBodySerialNumber);
        break;
    case kTagLensModel:
        if (format == kFormatAscii)
            m_record.m_strLens = ValueText(value, byteCount, CImageRecord::kMaxDeviceName);
        break;
    case kTagExposureProgram:
        m_record.m_info.m_nExposureProgram = integer();
        break;
    case kTagIsoSpeedRatings: {
        // Some cameras store the ISO divided by 200.
        const int iso = integer();
        m_record.m_info.m_nIsoEquivalent =
            iso < 50 ? static_cast<int>(std::int64_t(iso) * 200) : iso;
        break;
    }
    case kTagShutterSpeedValue:
        if (m_record.m_info.m_fExposureTime == 0)
            m_record.m_info.m_fExposureTime = static_cast<float>(1.0 / std::exp2(number()));
        break;
    case kTagApertureValue:
    case kTagMaxApertureValue:
        if (m_record.m_info.m_fAperture == 0)
            m_record.m_info.m_fAperture = static_cast<float>(std::exp2(number() / 2));
        break;
    case kTagExposureBiasValue:
        m_record.m_info.m_fExposureBias = static_cast<float>(number());
        break;
    case kTagSubjectDistance:
        m_record.m_info.m_fDistance = static_cast<float>(number());
        break;
    case kTagMeteringMode:
        m_record.m_info.m_nMeteringMode = integer();
        break;
    case kTagLightSource:
        m_record.m_info.m_nWhiteBalance = integer();
        break;
    case kTagFlash:
        m_record.m_info.m_bFlash = integer() & 1;
        break;
    case kTagFocalLength:
        m_record.m_info.m_fFocalLength = static_cast<float>(number());
        break;
    case kTagUserComment:
        ApplyUserComment(value, byteCount);
        break;
    case kTagExifImageWidth:
        s_maxExifDimension = std::max(s_maxExifDimension, integer());
        m_tiffDimensions.nExifWidth = integer();
        break;
    case kTagExifImageLength:
        s_maxExifDimension = std::max(s_maxExifDimension, integer());
        m_tiffDimensions.nExifHeight = integer();
        break;
    case kTagFocalPlaneXResolution:
        s_focalPlaneXRes = number();
        break;
    case kTagFocalPlaneResolutionUnit:
        s_focalPlaneUnitMm = FocalPlaneUnitMm(integer(), s_focalPlaneUnitMm);
        break;
    default:
        break;
    }
}

// UserComment: an 8-byte character code, then the text. Trailing blanks are
// cut; behind "ASCII" the text starts at the first of bytes 5..9 that is
// neither 0 nor a blank (none: the comment stays as it was). Any other code is
// taken as text from byte 0.
void CExifParser::ApplyUserComment(const unsigned char* value, std::uint32_t byteCount) {
    std::uint32_t end = byteCount;
    while (end > 0 && value[end - 1] == ' ')
        --end;
    const std::uint32_t cost = (byteCount - end) / kBlanksPerWorkUnit;
    m_nEntryBudget = cost < m_nEntryBudget ? m_nEntryBudget - cost : 0;
    std::uint32_t start = 0;
    if (end >= 5 && std::memcmp(value, "ASCII", 5) == 0) {
        start = 5;
        while (start < 10 && start < end && (value[start] == 0 || value[start] == ' '))
            ++start;
        if (start == 10 || start >= end)
            return;
    }
    CopyText(m_record.m_info.m_szComment, ValueText(value + start, end - start, kMaxUserComment));
}

// The serial number without the blanks and NULs around it, cut at an inner
// NUL and to kMaxSerial characters; anything but printable ASCII shows as
// "?". A blank text keeps the serial read before; the raw-file form only fills
// in for BodySerialNumber.
void CExifParser::ApplySerial(const unsigned char* value, std::uint32_t byteCount, bool replace) {
    if (!replace && !m_record.m_strSerial.empty())
        return;
    std::string_view text(reinterpret_cast<const char*>(value),
                          std::min(byteCount, kMaxSerialRead));
    const auto pad = [](char c) { return c == ' ' || c == '\0'; };
    while (!text.empty() && pad(text.front()))
        text.remove_prefix(1);
    text = text.substr(0, std::min(text.find('\0'), kMaxSerial));
    while (!text.empty() && pad(text.back()))
        text.remove_suffix(1);
    if (text.empty())
        return;
    m_record.m_strSerial.assign(text);
    for (char& c : m_record.m_strSerial) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            c = '?';
    }
}
