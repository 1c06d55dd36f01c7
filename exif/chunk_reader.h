#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CFileStream;
class CExifParser;
class CImageRecord;

// CChunkReader reads the two chunk-list image formats, WebP and PNG: it skips
// the image chunks by their sizes and reads the chunk that gives the picture
// size and the one that holds the EXIF block (TIFF data, with or without
// "Exif\0\0" in front). PNG files written before eXIf existed keep the EXIF
// block as hex digits in a text chunk ("Raw profile type exif" or "APP1"),
// plain or zlib-compressed; an eXIf chunk wins over such a copy. With the
// record's m_bReadHints it also hands the XMP packets over (WebP "XMP ",
// PNG iTXt "XML:com.adobe.xmp" and APP1 profiles holding XMP).
class CChunkReader {
public:
    CChunkReader(CImageRecord& record, CExifParser& exif, CFileStream& file)
        : m_record(record), m_exif(exif), m_file(file) {}

    void ReadWebp();
    void ReadPng();

    static constexpr int kMaxChunks = 4096;
    // What one EXIF chunk may hold; larger ones are not read.
    static constexpr std::uint32_t kMaxExifChunk = 4 * 1024 * 1024;
    // What is read of one XMP packet; the dates are at its front.
    static constexpr std::size_t kMaxXmpPacket = 1024 * 1024;
    // The text of one raw profile, inflated: the hex digits of kMaxExifChunk
    // bytes with a line break after every 72, and room for the header lines.
    static constexpr std::size_t kMaxProfileText = 2 * kMaxExifChunk + kMaxExifChunk / 36 + 4096;
    // Text chunks decoded per file, for the EXIF and for XMP each: a few
    // small chunks cannot make a file cost as much as a large one.
    static constexpr int kMaxTextChunks = 8;

private:
    // Where the text of a PNG text chunk lies in the file.
    struct TextRef {
        std::uint64_t offset;
        std::uint64_t size;
        bool compressed;
    };

    bool ReadChunk(std::uint64_t offset, std::uint32_t size, std::size_t limit);
    template <typename Sink> void Decode(const TextRef& text, std::size_t& budget, Sink&& sink);
    void ReadWebpSize(const char* type);
    void ParseExifChunk(std::uint32_t size);
    void WalkPng();
    void ReadPngText(const char* type, std::uint64_t data, std::uint32_t length);
    void ReadProfiles();
    bool DecodeProfile(const TextRef& text, bool wantExif);
    void TakePacket(const unsigned char* data, std::size_t size);

    CImageRecord& m_record;
    CExifParser& m_exif;
    CFileStream& m_file;
    std::vector<unsigned char> m_bytes;
    std::vector<TextRef> m_profiles; // raw profiles, read after the walk
    int m_nXmpTexts = 0;             // XMP text chunks decoded
    // The text the file's profiles, and its XMP chunks, may still decode:
    // all of them together, so that however many chunks a file has, it
    // costs at most one largest profile and one largest packet (a packet
    // cut at its bound spends it all).
    std::size_t m_nProfileText = kMaxProfileText;
    std::size_t m_nXmpText = kMaxXmpPacket;
};
