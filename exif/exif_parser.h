#pragma once

#include "found_date.h"

#include <cstdint>
#include <unordered_map>

class CImageRecord;
class CTiffFileView;

// Component sizes of the TIFF value formats, indexed by format number (0..13).
extern const int g_formatSizes[14];

// CExifParser decodes EXIF blocks, TIFF-structured directories, into the
// camera fields and dates of one record: the APP1 sections the JPEG section
// walk hands it, the EXIF items and boxes of other containers, and whole
// TIFF-structured raw files. Its work is bounded per file, across all the
// file's blocks: the front door starts each file with BeginFile. Problems are recorded as ids in
// the record's m_nErrorId and end the block or directory, never the read.
class CExifParser {
public:
    // The EXIF work one file may cause, in directory entries plus one unit per
    // 64 trailing blanks of a comment (the one text read to its very end):
    // about a hundred times what a camera's file uses, and a few tens of
    // milliseconds for a crafted file, however many blocks it holds.
    static constexpr std::uint32_t kExifWorkBudget = 1u << 16;

    explicit CExifParser(CImageRecord& record) : m_record(record) {}
    CExifParser(const CExifParser&) = delete;
    CExifParser& operator=(const CExifParser&) = delete;

    // A new file: the whole work budget, and nothing of the file before.
    void BeginFile();
    // After the file's blocks: the chosen EXIF date gets the offset and
    // fraction of a second its tags gave, unless its own text carried them.
    void CompleteExifDate();
    // The container gave no picture size: take the one the TIFF directories
    // of the file name.
    void FillDimensionsFromTiff();

    // An APP1 "Exif" section buffer of the JPEG section walk (two length
    // bytes, then the payload) and its length.
    void ParseExif(const unsigned char* data, int length);

    // Decodes TIFF data (header at byte 0) into the record, as the EXIF block
    // of a JPEG is decoded. `rawMagic` also accepts the magic numbers of the
    // raw variants (0x4F52, 0x5352, 0x55) besides 42.
    void ParseTiff(const unsigned char* tiff, std::uint32_t size, bool rawMagic = false);

    // An EXIF block of another container: TIFF data, with or without
    // "Exif\0\0" in front.
    void ParseEmbeddedExif(const unsigned char* data, std::uint32_t size);

    // A whole TIFF-structured file, read through `view` piece by piece.
    void ParseTiffFile(CTiffFileView& view);

    // Byte order of the EXIF block being parsed: 1 = big-endian ("MM"), 0 =
    // little-endian ("II"); it holds until the next block.
    unsigned char m_bMotorola = 0;

private:
    // What a directory is: its tags mean different things in each.
    enum class IfdKind { Main, Thumbnail, Gps };
    struct GpsParts;
    void CompleteExifDate(velmora::CFoundDate& date) const;
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

    CImageRecord& m_record;
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
