#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Writes synthetic JPEG files byte by byte, for the tests, the fuzz seeds and
// the benchmark folder. Everything is explicit: what the builder is told is
// exactly what ends up in the file, broken or not.

namespace testdata {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(std::string_view text); // the characters, no terminator

enum class ByteOrder { Intel, Motorola }; // "II" little-endian, "MM" big-endian

enum TiffFormat : std::uint16_t {
    kByte = 1,
    kAscii = 2,
    kShort = 3,
    kLong = 4,
    kRational = 5,
    kSByte = 6,
    kUndefined = 7,
    kSShort = 8,
    kSLong = 9,
    kSRational = 10,
    kFloat = 11,
    kDouble = 12,
};

// One directory entry. The value bytes (already in the block's byte order) go
// into the value field when they fit in 4 bytes, else behind the directory with
// their offset in the field. `rawField` writes the field as given instead, and
// `linkTo` writes the offset of another directory (sub-directory links).
struct TiffEntry {
    std::uint16_t tag = 0;
    std::uint16_t format = 0;
    std::uint32_t count = 0;
    Bytes value;
    std::optional<std::uint32_t> rawField;
    int linkTo = -1;
};

TiffEntry MakeEntry(std::uint16_t tag, std::uint16_t format, std::uint32_t count, Bytes value);

struct TiffDirectory {
    std::vector<TiffEntry> entries;
    int next = -1;                         // index of the next directory, -1 = none
    std::optional<std::uint32_t> rawNext;  // next-directory offset as given
    std::optional<std::uint16_t> rawCount; // entry count as given
};

// TIFF data of an EXIF block: header, then each directory followed by its
// out-of-line values, in the order the directories were added. Directory 0 is
// the first directory unless `firstOffset` says otherwise.
class CTiffBuilder {
public:
    explicit CTiffBuilder(ByteOrder order = ByteOrder::Intel);

    int AddDirectory(); // returns its index; directory 0 exists from the start
    TiffDirectory& Dir(int index) { return m_dirs.at(index); }

    CTiffBuilder& Ascii(int dir, std::uint16_t tag, std::string_view text); // NUL appended
    CTiffBuilder& Byte(int dir, std::uint16_t tag, std::uint8_t value);
    CTiffBuilder& Short(int dir, std::uint16_t tag, std::uint16_t value);
    CTiffBuilder& SShort(int dir, std::uint16_t tag, std::int16_t value);
    CTiffBuilder& Long(int dir, std::uint16_t tag, std::uint32_t value);
    CTiffBuilder& SLong(int dir, std::uint16_t tag, std::int32_t value);
    CTiffBuilder& Rational(int dir, std::uint16_t tag, std::uint32_t num, std::uint32_t den);
    CTiffBuilder& SRational(int dir, std::uint16_t tag, std::int32_t num, std::int32_t den);
    CTiffBuilder& Float(int dir, std::uint16_t tag, float value);
    CTiffBuilder& Double(int dir, std::uint16_t tag, double value);
    CTiffBuilder& Undefined(int dir, std::uint16_t tag, const Bytes& value);
    CTiffBuilder& Entry(int dir, const TiffEntry& entry);
    // A link stored as a LONG, or as `format` (13: the IFD type).
    CTiffBuilder& SubDirectory(int dir, std::uint16_t tag, int target, std::uint16_t format = 4);
    CTiffBuilder& Next(int dir, int target);

    // Values in the block's byte order.
    Bytes U16(std::uint16_t v) const;
    Bytes U32(std::uint32_t v) const;

    std::optional<std::uint32_t> firstOffset; // overrides the header's first offset
    std::uint16_t magic = 42;
    // Bytes between the header and the first directory (a CR2 keeps "CR",
    // its version and the raw directory's offset there).
    Bytes afterHeader;

    // Offset of a directory in the TIFF data as Build lays it out.
    std::uint32_t DirectoryOffset(int index) const;
    Bytes Build() const;

private:
    std::vector<std::uint32_t> Layout() const;

    ByteOrder m_order;
    std::vector<TiffDirectory> m_dirs;
};

// A JPEG file as a sequence of parts.
class CJpegBuilder {
public:
    CJpegBuilder& Soi();                   // FF D8
    CJpegBuilder& Raw(const Bytes& bytes); // any bytes as they are
    CJpegBuilder& Padding(int count);      // `count` extra FF bytes
    // FF marker, big-endian length (payload + 2), payload.
    CJpegBuilder& Section(std::uint8_t marker, const Bytes& payload);
    // FF marker, the length field as given, payload (which may disagree with it).
    CJpegBuilder& SectionWithLength(std::uint8_t marker, std::uint16_t length,
                                    const Bytes& payload);
    CJpegBuilder& FrameHeader(int width, int height, int components, std::uint8_t marker = 0xC0);
    CJpegBuilder& App0Jfif();
    CJpegBuilder& Comment(const Bytes& text);
    CJpegBuilder& Exif(const Bytes& tiff); // APP1 "Exif\0\0" + TIFF data
    CJpegBuilder& Exif(const CTiffBuilder& tiff) { return Exif(tiff.Build()); }
    CJpegBuilder& Sos(); // start of scan, some image bytes and FF D9
    CJpegBuilder& Eoi(); // FF D9 alone

    const Bytes& Data() const { return m_data; }

    // SOI, JFIF, the EXIF block (if any), frame header, SOS: a readable file.
    static Bytes Photo(const CTiffBuilder* tiff, int width = 640, int height = 480);

private:
    Bytes m_data;
};

// EXIF data of a typical camera picture: make, model, dates and camera
// settings, in the given byte order.
CTiffBuilder CameraTiff(ByteOrder order, std::string_view dateTimeOriginal);

// Writes `bytes` to `path`; false on failure.
bool WriteFile(const std::string& path, const Bytes& bytes);

} // namespace testdata
