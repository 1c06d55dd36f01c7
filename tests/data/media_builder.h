#pragma once

#include "jpeg_builder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Writes synthetic files of the other photo and movie types byte by byte,
// from their published layouts: ISO base media boxes (HEIF, CR3, MP4/MOV),
// WebP and PNG chunks, and the RAF header. As with the JPEG builder, what the
// builder is told is exactly what ends up in the file.

namespace testdata {

Bytes U16BE(std::uint16_t v);
Bytes U32BE(std::uint32_t v);
Bytes U64BE(std::uint64_t v);
Bytes U32LE(std::uint32_t v);
Bytes Concat(std::initializer_list<Bytes> parts);

// size (32-bit), type, payload.
Bytes Box(std::string_view type, const Bytes& payload);
// size field 1, type, 64-bit size, payload.
Bytes LargeBox(std::string_view type, const Bytes& payload);
// Box whose payload starts with version (1) and flags (3).
Bytes FullBox(std::string_view type, std::uint8_t version, const Bytes& payload);

// A HEIF still image: ftyp, meta (hdlr, iinf with a picture item and an Exif
// item, iloc, iprp with the picture's ispe), mdat holding the picture bytes
// and the EXIF item ("Exif\0\0" offset header, then `tiff`).
struct HeifOptions {
    Bytes tiff;
    std::string brand = "heic";
    bool exifAtEnd = false;  // the EXIF item after the picture bytes
    int ilocVersion = 0;     // 0, 1 or 2
    int infeVersion = 2;     // 2 or 3
    int extents = 1;         // the item split into this many pieces, apart
    bool baseOffset = false; // extent offsets relative to a base offset
    int offsetSize = 4;      // bytes of offsets and lengths, 4 or 8
    bool largeMdat = false;  // mdat with a 64-bit size
    std::uint32_t width = 4032;
    std::uint32_t height = 3024;
    // An XMP item (type mime, application/rdf+xml) holding this packet, at the
    // end of mdat, or in meta's idat box (construction method 1; needs iloc
    // version 1 or 2).
    std::string xmp;
    bool xmpInIdat = false;
    // An image sequence: a moov box after mdat whose movie header holds this
    // time (seconds since 1904-01-01 UTC); with `noMeta` the file has no
    // meta box (frames alone).
    std::uint64_t sequenceTime = 0;
    bool noMeta = false;
};
Bytes HeifFile(const HeifOptions& options);

// A movie: ftyp, mdat of `mediaSize` bytes, moov (mvhd, a video and a sound
// track, and the Apple metadata keys when given), moov at the end or front.
struct MovieOptions {
    std::string brand = "qt  ";
    bool moovAtEnd = true;
    bool largeMdat = false;
    int mvhdVersion = 0;
    std::uint64_t creationTime = 0; // seconds since 1904-01-01 UTC
    std::string appleDate;          // com.apple.quicktime.creationdate
    std::string make;
    std::string model;
    std::size_t mediaSize = 4096;
    std::uint16_t width = 1920;
    std::uint16_t height = 1080;
    std::string uuidXmp; // a top-level XMP uuid box, last in the file
    std::string udtaXmp; // moov/udta/XMP_
    std::string day;     // moov/udta/©day as QuickTime text, or in meta/ilst
    bool dayInIlst = false;
};
Bytes MovieFile(const MovieOptions& options);

// A CR3: ftyp "crx ", moov with Canon's uuid box holding CMT1 and CMT2 (TIFF
// data each), a preview track, then the media data.
Bytes Cr3File(const Bytes& cmt1, const Bytes& cmt2, std::uint64_t creationTime = 0);

// WebP: RIFF, VP8X (canvas size), VP8 image data, EXIF chunk (`exif` as given,
// e.g. with or without "Exif\0\0"), and an "XMP " chunk when `xmp` is given.
Bytes WebpFile(const Bytes& exif, int width, int height, const Bytes& xmp = {});

// PNG: signature, IHDR, IDAT, eXIf (`exif` as given), IEND.
Bytes PngFile(const Bytes& exif, int width, int height);

// One PNG chunk: length, type, data, and a CRC that is not computed.
Bytes PngChunk(std::string_view type, const Bytes& data);
// PNG: signature, IHDR, the `before` chunks, IDAT, the `after` chunks, IEND.
Bytes PngWithChunks(const std::vector<Bytes>& before, const std::vector<Bytes>& after,
                    int width = 16, int height = 16);
// The text chunks: tEXt (keyword, NUL, text); zTXt (keyword, NUL, method 0,
// the text through zlib); iTXt (keyword, NUL, compression flag, method 0,
// empty language tag and translated keyword, the text, through zlib when
// `compressed`).
Bytes PngText(std::string_view keyword, const Bytes& text);
Bytes PngZText(std::string_view keyword, const Bytes& text);
Bytes PngIText(std::string_view keyword, const Bytes& text, bool compressed = false);
// A raw profile's text as image tools wrote it: "\n", the type name, "\n",
// the byte count (`count` when given, else the real one) right-aligned in 8
// places, "\n", then the bytes as hex digits in lines of 72.
Bytes RawProfileText(std::string_view type, const Bytes& bytes,
                     std::optional<std::size_t> count = std::nullopt);
// `bytes` as one zlib stream.
Bytes Deflate(const Bytes& bytes);
// A small PNG that inflates to much: `count` zTXt raw EXIF profiles, each the
// hex text of `size` bytes, zeros after "Exif\0\0" and a TIFF header when
// `exifHeader`, zeros alone otherwise.
Bytes ProfilesPng(bool exifHeader, std::size_t size, int count);

// moov with a movie header of `creationTime` (seconds since 1904-01-01 UTC)
// and a picture track.
Bytes MovieBox(std::uint64_t creationTime);

// An X3F: the 40-byte header ("FOVb", version, id, mark bits, columns,
// rows, rotation), a property list ("SECp", UTF-16 names and values) of the
// given properties, an image section holding `jpeg` (format 18) when given,
// the section directory ("SECd") and its offset in the last 4 bytes.
struct X3fOptions {
    std::uint32_t version = 0x00020003;
    std::vector<std::pair<std::string, std::string>> properties = {
        {"CAMMANUF", "SIGMA"}, {"CAMMODEL", "SIGMA DP2 Merrill"}, {"TIME", "1525000000"}};
    Bytes jpeg;
    std::uint32_t columns = 4704;
    std::uint32_t rows = 3136;
};
Bytes X3fFile(const X3fOptions& options);

// RAF: the 92-byte header pointing to `jpeg`, which follows a gap.
Bytes RafFile(const Bytes& jpeg);

// An AVI: RIFF "AVI ", LIST hdrl (avih, a LIST strl with strh, strf and the
// strd when given, then IDIT), LIST movi of `mediaSize` media bytes, idx1,
// LIST INFO (ICRD, DTIM) in front of movi or behind idx1, and a top-level
// _PMX chunk. Each text chunk is left out when empty.
struct AviOptions {
    std::string idit;      // IDIT text; "\n\0" is not added
    std::string icrd;      // ICRD text, NUL-padded to an even length
    Bytes dtim;            // DTIM data as given
    bool infoAtEnd = true; // LIST INFO behind movi and idx1
    Bytes strdTiff;        // little-endian TIFF data: strd holds "AVIF", 4 zero
                           // bytes, then this data from its byte 8 on
    std::string xmp;       // _PMX
    std::size_t mediaSize = 4096;
    std::uint32_t width = 640;
    std::uint32_t height = 480;
    std::optional<std::uint32_t> riffSize; // the RIFF size field as given
};
Bytes AviFile(const AviOptions& options);

// An AVCHD stream: PAT, PMT and null packets, then the video's first two
// access units (PES packets on `videoPid`, each: access unit delimiter, SPS,
// an SEI with a buffering-period message and the MDPM user data, a slice),
// then an audio packet. The SEI is written as an encoder writes it, every
// two zero bytes followed by 00..03 broken up with an 03.
struct MtsOptions {
    std::size_t packetSize = 192; // 192 (.mts, .m2ts: a time stamp in front) or 188 (.ts)
    std::uint16_t videoPid = 0x1011;
    bool withDate = true;
    std::uint8_t zone = 0x02; // MDPM time-zone byte
    // Century, year, month, day, hour, minute, second in BCD.
    Bytes dateBcd = {0x20, 0x08, 0x12, 0x31, 0x23, 0x16, 0x24};
    // An MDPM entry of zeros in front of the date, which the encoder has to
    // break up: the date is read right only once the 03 is taken out.
    bool zeroEntry = true;
    bool dateInSecondUnit = false; // the first access unit's SEI has no MDPM
    std::size_t leadingPackets = 3;
    std::size_t sliceSize = 600; // picture bytes of each access unit
};
Bytes MtsFile(const MtsOptions& options);

// A CRW: the 26-byte header, then the root heap: raw image data and the
// image properties heap 0x300A with ImageInfo 0x1810 (width, height), the
// TimeStamp 0x180E, a value kept in its entry, and heap 0x2807 holding
// MakeModel 0x080A ("make\0model\0").
struct CrwOptions {
    bool withTimeStamp = true;
    std::uint32_t timeStamp = 1068485966; // seconds since 1970 on the camera clock
    std::string make = "Canon";
    std::string model = "Canon EOS DIGITAL REBEL";
    std::uint32_t width = 3072;
    std::uint32_t height = 2048;
    std::size_t imageSize = 4096;
    int extraNesting = 0; // the properties heap wrapped in this many more heaps
};
Bytes CrwFile(const CrwOptions& options);

// An MRW: "\0MRM", the block area ("\0PRD", "\0TTW" holding `tiff`, "\0WBG",
// "\0RIF", "\0PAD"), then `imageSize` image bytes.
Bytes MrwFile(const Bytes& tiff, std::size_t imageSize = 4096);

} // namespace testdata
