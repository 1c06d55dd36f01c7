#pragma once

#include "jpeg_builder.h"

#include <cstdint>
#include <string>
#include <string_view>

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
};
Bytes MovieFile(const MovieOptions& options);

// A CR3: ftyp "crx ", moov with Canon's uuid box holding CMT1 and CMT2 (TIFF
// data each), a preview track, then the media data.
Bytes Cr3File(const Bytes& cmt1, const Bytes& cmt2, std::uint64_t creationTime = 0);

// WebP: RIFF, VP8X (canvas size), VP8 image data, EXIF chunk (`exif` as given,
// e.g. with or without "Exif\0\0").
Bytes WebpFile(const Bytes& exif, int width, int height);

// PNG: signature, IHDR, IDAT, eXIf (`exif` as given), IEND.
Bytes PngFile(const Bytes& exif, int width, int height);

// RAF: the 92-byte header pointing to `jpeg`, which follows a gap.
Bytes RafFile(const Bytes& jpeg);

} // namespace testdata
