#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The file types the readers know: by name extension, for choosing which files
// of a folder to list, and by their first bytes, for choosing the reader (a
// file's content decides, not its name).

namespace velmora {

enum class ImageKind { Jpeg, Heif, Raw, Video, OtherImage };

struct ImageType {
    std::string_view extension; // lower case, without the dot
    ImageKind kind;
};

// The type of `fileName` by its extension, compared without regard to case;
// nullptr when the extension is none of the known ones.
const ImageType* ImageTypeOf(std::string_view fileName);

// The layouts the readers tell apart by content.
enum class FileFormat {
    Unknown,
    Jpeg,    // FF D8
    Tiff,    // TIFF and TIFF-based raw, the ORF and RW2 magics included
    BigTiff, // 8-byte offsets, refused
    Raf,     // header pointing to an embedded JPEG
    Heif,    // ISO base media with a HEIF/AVIF brand
    Cr3,     // ISO base media, brand "crx "
    Movie,   // any other ISO base media or QuickTime file
    WebP,
    Png,
    Avi, // "RIFF" size "AVI "
    Mts, // MPEG-2 transport stream: AVCHD .mts/.m2ts, or .ts
    Crw, // Canon CIFF: "II", header length, "HEAPCCDR"
    Mrw, // "\0MRM" and its blocks
    X3f, // Sigma: "FOVb", the section directory at the end
};

// How many first bytes DetectFileFormat looks at: a transport stream shows
// itself by a sync byte at the start of each of its first packets.
constexpr std::size_t kFormatProbeSize = 400;

// The layout of a file from its first `size` bytes (at most kFormatProbeSize
// are looked at). `fileSize` is the whole file's size when the head is only
// its start (0: the head is the whole file); a classic QuickTime file is told
// by a first atom that fits in it.
FileFormat DetectFileFormat(const unsigned char* head, std::size_t size,
                            std::uint64_t fileSize = 0);

} // namespace velmora
