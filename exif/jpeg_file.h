#pragma once

#include "found_date.h"
#include "image_type.h"
#include "jpeg_info.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CFileStream;
class CTiffFileView;

// One kept marker section. pData holds the section from its length field on:
// bytes 0..1 the big-endian length (which counts itself), then the payload
// exactly as in the file; the buffer is exactly nLength bytes long.
struct CJpegSection {
    unsigned char* pData;
    int nMarker;
    int nLength;
};

// Component sizes of the TIFF value formats, indexed by format number (0..13).
extern const int g_formatSizes[14];

// CJpegFile reads one JPEG file at a time: it walks the marker sections from
// the start-of-image marker up to the image data (never reading the image data
// itself), keeps the first 20 sections (reading past them, within the work
// budget), decodes frame headers, comments and the
// EXIF block into m_info, and reports failure as a string id in m_nErrorId.
// It raises no exceptions and shows nothing. One reader serves many files.
class CJpegFile {
public:
    static constexpr int kMaxSections = 20;
    // The EXIF work one file may cause, in directory entries plus one unit per
    // 64 trailing blanks of a comment (the one text read to its very end):
    // about a hundred times what a camera's file uses, and a few tens of
    // milliseconds for a crafted file, however many blocks it holds.
    static constexpr std::uint32_t kExifWorkBudget = 1u << 16;

    CJpegFile();
    ~CJpegFile();
    CJpegFile(const CJpegFile&) = delete;
    CJpegFile& operator=(const CJpegFile&) = delete;

    // Reads one file. TRUE when the walk reached the image data or the end of
    // the image; FALSE with the reason in m_nErrorId (0 when the file could not
    // be opened or is not a regular file, in which case m_info is untouched).
    bool LoadJpeg(const char* path);

    // Reads one photo or movie of any known type, chosen by the file's first
    // bytes, not by its name: the same contract as LoadJpeg, and the same
    // record as far as the type carries the data. A file of no known type
    // fails with IDS_INVALID_JPEG.
    bool LoadImage(const char* path);

    // Reads the open `file` (positioned at its start) as `format`: the step of
    // LoadImage after the open, for callers that know the layout already.
    bool ReadImage(CFileStream& file, velmora::FileFormat format);

    // LoadJpeg (or, with `byContent`, LoadImage) of a file the caller opened
    // already, `open` telling whether its Open succeeded: the scan opens
    // files ahead of the reader so that the device can fetch them meanwhile.
    bool LoadOpened(CFileStream& file, bool open, const char* path, bool byContent);

    // Walks the marker sections of a JPEG stream from the file's position on.
    bool ScanSections(CFileStream& file);

    // Decodes TIFF data (header at byte 0) into the record, as the EXIF block
    // of a JPEG is decoded. `rawMagic` also accepts the magic numbers of the
    // raw variants (0x4F52, 0x5352, 0x55) besides 42.
    void ParseTiff(const unsigned char* tiff, std::uint32_t size, bool rawMagic = false);

    // An EXIF block of another container: TIFF data, with or without
    // "Exif\0\0" in front.
    void ParseEmbeddedExif(const unsigned char* data, std::uint32_t size);

    // A whole TIFF-structured file, read through `view` piece by piece.
    void ParseTiffFile(CTiffFileView& view);

    // Releases every kept section and clears the table and the record.
    void FreeSections();

    // Expands the file name format on m_info.m_dtTaken: the counter (when not
    // negative) replaces every "%C", then the date codes; the folder part of
    // `path` goes in front and its extension behind. Always true. Defined with
    // the rest of name generation, in the renaming engine.
    bool BuildFileName(const std::string& path, std::string& name, const std::string& format,
                       int counter) const;

    // Records the date taken the file states, with its source, offset and
    // fraction of a second, and sets m_info.m_dtTaken from it (a movie
    // header's UTC time in the computer's zone).
    void SetTaken(const velmora::CFoundDate& date);

    // Keeps the best date of an XMP packet of the file (when m_bReadHints).
    void TakeXmpPacket(std::string_view packet);

    int m_nErrorId = 0;
    CJpegInfo m_info;
    // The layout the last read took the file for (Unknown when it could not
    // be opened): a file read as JPEG is told apart from other types by it.
    velmora::FileFormat m_format = velmora::FileFormat::Unknown;
    // Set by the caller: the readers then also look for the dates that only
    // files without a date taken use (XMP, IPTC); a plain read skips them.
    bool m_bReadHints = false;
    // The date taken as the file states it; source None when it has none.
    velmora::CFoundDate m_taken;
    // With m_bReadHints: the best date of the file's XMP packets, and its
    // IPTC date and time created.
    velmora::CFoundDate m_xmpDate;
    velmora::CFoundDate m_iptcDate;
    // The time of the GPS fix (UTC, from GPSDateStamp and GPSTimeStamp) and
    // the body's serial number: what tells the device and its clock's error.
    velmora::CFoundDate m_gpsTime;
    std::string m_strSerial;
    // Set by the caller: a JPEG's EXIF thumbnail (a whole JPEG stream, at
    // most kMaxThumbnail bytes) is then copied into m_thumbnail.
    bool m_bReadThumbnail = false;
    std::vector<unsigned char> m_thumbnail;
    static constexpr std::uint32_t kMaxThumbnail = 256 * 1024;
    // The device and inode of the entry last opened, kept when its reading
    // fails: the scan records them for the rename run's identity check.
    unsigned long long m_nFileDevice = 0;
    unsigned long long m_nFileInode = 0;
    CJpegSection m_sections[kMaxSections];
    int m_nSections = 0;
    unsigned char m_bMotorola = 0;
    std::uint64_t m_nBytesRead = 0; // what the last read took from its file

private:
    bool Load(const char* path, bool byContent);
    void ReleaseSections();  // the table only, the record kept
    void ResetDeviceFacts(); // GPS time, serial, thumbnail
    static int ReadLength(CFileStream& file);
    void ParseFrameHeader(const unsigned char* data, int length, int marker);
    void ParseComment(const unsigned char* data, int length);
    void TakeXmpSection(const unsigned char* data, int length);

    // The EXIF parser.
    void ParseExif(const unsigned char* data, int length);
    // What a directory is: its tags mean different things in each.
    enum class IfdKind { Main, Thumbnail, Gps };
    struct GpsParts;
    void ParseIfd(std::uint32_t dirOffset, const unsigned char* base, std::uint32_t size, int level,
                  IfdKind kind = IfdKind::Main);
    void ApplyTag(int tag, int format, const unsigned char* value, std::uint32_t byteCount,
                  std::uint32_t available, const unsigned char* base, std::uint32_t size, int level,
                  IfdKind kind);
    void ApplyGpsTag(int tag, int format, const unsigned char* value, std::uint32_t byteCount,
                     GpsParts& parts) const;
    void ApplySerial(const unsigned char* value, std::uint32_t byteCount, bool replace);
    void CopyThumbnail(const unsigned char* tiff, std::uint32_t size);
    void ApplyUserComment(const unsigned char* value, std::uint32_t byteCount);
    double ConvertValue(const unsigned char* value, int format, std::uint32_t available) const;
    unsigned GetShort(const unsigned char* p) const;
    int GetLong(const unsigned char* p) const;
    bool Fetch(std::uint32_t offset, std::uint32_t length) const;
    void FillDimensionsFromTiff();
    void CompleteExifDate();

    // Bounds the work of EXIF decoding: which directory offsets of the current
    // block were walked at which nesting level (one bit per level), and how
    // much work the file may still cost.
    std::unordered_map<std::uint32_t, unsigned char> m_walkedLevels;
    std::uint32_t m_nEntryBudget = kExifWorkBudget;
    // The thumbnail's offset and length in the current block, 0 when unnamed.
    std::uint32_t m_nThumbOffset = 0;
    std::uint32_t m_nThumbLength = 0;
    // OffsetTime* and SubSecTime* of the file (as minutes, milliseconds; none:
    // kNoOffset, -1), by the date they belong to: DateTime, DateTimeOriginal,
    // DateTimeDigitized.
    std::int16_t m_exifOffsets[3] = {velmora::kNoOffset, velmora::kNoOffset, velmora::kNoOffset};
    int m_exifMillis[3] = {-1, -1, -1};
    // Set while a whole file is walked: bytes are read in before their use.
    CTiffFileView* m_pTiffView = nullptr;

    // Picture sizes met in the TIFF directories of the current file, for the
    // types whose container gives none: the Exif pixel dimensions, else the
    // largest image of the file's directories.
    struct TiffDimensions {
        int nExifWidth;
        int nExifHeight;
        int nImageWidth;
        int nImageHeight;
    };
    TiffDimensions m_tiffDimensions{};
};
