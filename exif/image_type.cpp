#include "image_type.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace velmora {
namespace {

constexpr ImageType kImageTypes[] = {
    {"jpg", ImageKind::Jpeg},        {"jpeg", ImageKind::Jpeg},
    {"jpe", ImageKind::Jpeg},        {"jfif", ImageKind::Jpeg},
    {"heic", ImageKind::Heif},       {"heif", ImageKind::Heif},
    {"avif", ImageKind::Heif},       {"dng", ImageKind::Raw},
    {"nef", ImageKind::Raw},         {"nrw", ImageKind::Raw},
    {"cr2", ImageKind::Raw},         {"cr3", ImageKind::Raw},
    {"arw", ImageKind::Raw},         {"sr2", ImageKind::Raw},
    {"pef", ImageKind::Raw},         {"srw", ImageKind::Raw},
    {"3fr", ImageKind::Raw},         {"erf", ImageKind::Raw},
    {"iiq", ImageKind::Raw},         {"mos", ImageKind::Raw},
    {"orf", ImageKind::Raw},         {"rw2", ImageKind::Raw},
    {"raf", ImageKind::Raw},         {"mp4", ImageKind::Video},
    {"mov", ImageKind::Video},       {"m4v", ImageKind::Video},
    {"3gp", ImageKind::Video},       {"tif", ImageKind::OtherImage},
    {"tiff", ImageKind::OtherImage}, {"webp", ImageKind::OtherImage},
    {"png", ImageKind::OtherImage},  {"avi", ImageKind::Video},
    {"mts", ImageKind::Video},       {"m2ts", ImageKind::Video},
    {"3g2", ImageKind::Video},       {"crw", ImageKind::Raw},
    {"mrw", ImageKind::Raw},         {"hif", ImageKind::Heif},
    {"mpo", ImageKind::Jpeg},        {"x3f", ImageKind::Raw},
};

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char c = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (c != b[i])
            return false;
    }
    return true;
}

bool Starts(const unsigned char* head, std::size_t size, std::size_t at, std::string_view text) {
    const std::size_t n = text.size();
    return size >= n && at <= size - n && std::memcmp(head + at, text.data(), n) == 0;
}

std::uint64_t BigEndian(const unsigned char* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | p[i];
    return value;
}

// A transport stream: the sync byte 0x47 at `first` and every `packet` bytes
// after it, as far as the probe reaches (two packets at least).
bool IsTransportStream(const unsigned char* head, std::size_t size, std::size_t first,
                       std::size_t packet) {
    size = std::min(size, kFormatProbeSize);
    if (size <= first + packet)
        return false;
    for (std::size_t at = first; at < size; at += packet) {
        if (head[at] != 0x47)
            return false;
    }
    return true;
}

// QuickTime before the file-type box: the first atom is one of these, with
// a size that fits in the file (1: a 64-bit size follows; 0: to the end).
bool IsClassicQuickTime(const unsigned char* head, std::size_t size, std::uint64_t fileSize) {
    static const char* const kFirstAtoms[] = {"moov", "mdat", "wide", "free", "skip", "pnot"};
    if (size < 8)
        return false;
    bool known = false;
    for (const char* atom : kFirstAtoms)
        known = known || std::memcmp(head + 4, atom, 4) == 0;
    if (!known)
        return false;
    std::uint64_t atomSize = BigEndian(head, 4);
    std::uint64_t headerSize = 8;
    if (atomSize == 0)
        return true;
    if (atomSize == 1) {
        if (size < 16)
            return false;
        atomSize = BigEndian(head + 8, 8);
        headerSize = 16;
    }
    return atomSize >= headerSize && atomSize <= fileSize;
}

// ISO base media brands at bytes 8..11, after the "ftyp" box header.
FileFormat IsoFormat(const unsigned char* head) {
    static const char* const kHeifBrands[] = {"heic", "heix", "heim", "heis", "hevc",
                                              "hevx", "mif1", "msf1", "avif", "avis"};
    for (const char* brand : kHeifBrands) {
        if (std::memcmp(head + 8, brand, 4) == 0)
            return FileFormat::Heif;
    }
    if (std::memcmp(head + 8, "crx ", 4) == 0)
        return FileFormat::Cr3;
    return FileFormat::Movie;
}

} // namespace

const ImageType* ImageTypeOf(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || fileName.find('/', dot) != std::string_view::npos)
        return nullptr;
    const std::string_view extension = fileName.substr(dot + 1);
    for (const ImageType& type : kImageTypes) {
        if (EqualsIgnoringAsciiCase(extension, type.extension))
            return &type;
    }
    return nullptr;
}

// First bytes of each layout:
//   FF D8                          JPEG
//   "II" 2A 00 / "MM" 00 2A        TIFF, DNG, NEF, CR2 ("CR" at 8), ARW, PEF, ...
//   "IIRO" / "IIRS" / "MMOR"       ORF: TIFF layout, own magic
//   "II" 55 00                     RW2: TIFF layout, magic 0x55
//   "II" 2B 00 / "MM" 00 2B        BigTIFF
//   "FUJIFILMCCD-RAW "             RAF
//   size (4) "ftyp" brand (4)      ISO base media
//   "RIFF" size (4) "WEBP"         WebP
//   89 "PNG" 0D 0A 1A 0A           PNG
//   "RIFF" size (4) "AVI "         AVI
//   "II" length (4) "HEAPCCDR"     CRW
//   00 "MRM"                       MRW
//   "FOVb"                         X3F
//   size (4) "moov" / "mdat" / ... QuickTime without a file-type box
//   47 at 4, 196, 388, ...         transport stream of 192-byte packets (AVCHD)
//   47 at 0, 188, 376, ...         transport stream of 188-byte packets
// A TIFF header needs its 8 bytes; a shorter file is nothing we can read.
FileFormat DetectFileFormat(const unsigned char* head, std::size_t size, std::uint64_t fileSize) {
    fileSize = std::max<std::uint64_t>(fileSize, size);
    if (size >= 2 && head[0] == 0xFF && head[1] == 0xD8)
        return FileFormat::Jpeg;
    if (size >= 8) {
        static const char* const kTiffMagics[] = {"II*\0", "MM\0*", "IIRO",
                                                  "IIRS",  "MMOR",  "IIU\0"};
        for (const char* magic : kTiffMagics) {
            if (std::memcmp(head, magic, 4) == 0)
                return FileFormat::Tiff;
        }
        if (std::memcmp(head, "II+\0", 4) == 0 || std::memcmp(head, "MM\0+", 4) == 0)
            return FileFormat::BigTiff;
        if (std::memcmp(head, "\x89PNG\r\n\x1A\n", 8) == 0)
            return FileFormat::Png;
    }
    if (Starts(head, size, 0, "FUJIFILMCCD-RAW "))
        return FileFormat::Raf;
    if (Starts(head, size, 0, "RIFF") && Starts(head, size, 8, "WEBP"))
        return FileFormat::WebP;
    if (size >= 12 && Starts(head, size, 4, "ftyp"))
        return IsoFormat(head);
    if (Starts(head, size, 0, "RIFF") && Starts(head, size, 8, "AVI "))
        return FileFormat::Avi;
    if (Starts(head, size, 0, "II") && Starts(head, size, 6, "HEAPCCDR"))
        return FileFormat::Crw;
    if (Starts(head, size, 0, std::string_view("\0MRM", 4)))
        return FileFormat::Mrw;
    if (Starts(head, size, 0, "FOVb"))
        return FileFormat::X3f;
    if (IsClassicQuickTime(head, size, fileSize))
        return FileFormat::Movie;
    if (IsTransportStream(head, size, 4, 192) || IsTransportStream(head, size, 0, 188))
        return FileFormat::Mts;
    return FileFormat::Unknown;
}

} // namespace velmora
