// The readers of the other photo and movie types, on builder-made files: each
// case starts from a small valid file of its type and changes one thing. The
// reader is chosen by content, whatever the name.

#include "chunk_reader.h"
#include "file_stream.h"
#include "image_reader.h"
#include "image_type.h"
#include "jpeg_builder.h"
#include "jpeg_file.h"
#include "media_builder.h"
#include "ole_date.h"
#include "string_table.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

namespace {

using namespace testdata;
using namespace velmora;
using testsupport::DateText;

constexpr std::uint16_t kDateTimeOriginal = 0x9003;
constexpr std::uint64_t kSecondsTo1970 = 2082844800; // QuickTime epoch to 1970

// 2019-07-24 08:25:57 UTC as QuickTime seconds.
const std::uint64_t kMovieTime = kSecondsTo1970 + 1563956757;

Bytes Camera(ByteOrder order = ByteOrder::Intel) {
    return CameraTiff(order, "2021:03:04 05:06:07").Build();
}

HeifOptions Heif(const std::function<void(HeifOptions&)>& change = {}) {
    HeifOptions o;
    o.tiff = Camera(ByteOrder::Motorola);
    if (change)
        change(o);
    return o;
}

MovieOptions Movie(const std::function<void(MovieOptions&)>& change = {}) {
    MovieOptions o;
    o.creationTime = kMovieTime;
    o.make = "Apple";
    o.model = "iPhone 6";
    if (change)
        change(o);
    return o;
}

// A TIFF-structured raw file: the camera's directories from byte 0.
Bytes Raw(ByteOrder order, std::uint16_t magic, Bytes afterHeader = {}) {
    CTiffBuilder tiff = CameraTiff(order, "2021:03:04 05:06:07");
    tiff.magic = magic;
    tiff.afterHeader = std::move(afterHeader);
    tiff.Short(0, 0x0100, 160).Short(0, 0x0101, 120); // the thumbnail's size
    return tiff.Build();
}

Bytes Cut(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

// `bytes` with a big-endian u32 written at `at`.
Bytes Patch32(Bytes bytes, std::size_t at, std::uint32_t value) {
    const Bytes v = U32BE(value);
    std::copy(v.begin(), v.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

std::size_t Find(const Bytes& bytes, std::string_view text) {
    const auto it = std::search(bytes.begin(), bytes.end(), text.begin(), text.end());
    return static_cast<std::size_t>(it - bytes.begin());
}

// Each case names the builder of its file, run by the test itself.
struct ReadCase {
    const char* name;
    std::function<Bytes()> file;
    bool ok;
    int errorId;
    const char* date; // "none" for no date
    const char* make;
    int width;
    int height;
};

const char* const kDate = "2021-03-04 05:06:07";
const char* const kMake = "Quorvant Optics";
// The Apple key's local time as written, and the movie header's time in UTC.
const char* const kAppleDate = "2019-07-24 11:25:40";
const char* const kUtcDate = "2019-07-24 08:25:57";

const ReadCase kReadCases[] = {
    // HEIF: where the EXIF item lies and how iloc describes it.
    {"heif/plain", [] { return HeifFile(Heif()); }, true, 0, kDate, kMake, 4032, 3024},
    {"heif/exif_at_end", [] { return HeifFile(Heif([](auto& o) { o.exifAtEnd = true; })); }, true,
     0, kDate, kMake, 4032, 3024},
    {"heif/iloc_version_1", [] { return HeifFile(Heif([](auto& o) { o.ilocVersion = 1; })); }, true,
     0, kDate, kMake, 4032, 3024},
    {"heif/iloc_version_2_infe_version_3",
     [] {
         return HeifFile(Heif([](auto& o) {
             o.ilocVersion = 2;
             o.infeVersion = 3;
         }));
     },
     true, 0, kDate, kMake, 4032, 3024},
    {"heif/three_extents_apart", [] { return HeifFile(Heif([](auto& o) { o.extents = 3; })); },
     true, 0, kDate, kMake, 4032, 3024},
    {"heif/base_offset",
     [] {
         return HeifFile(Heif([](auto& o) {
             o.baseOffset = true;
             o.exifAtEnd = true;
         }));
     },
     true, 0, kDate, kMake, 4032, 3024},
    {"heif/8_byte_offsets_and_base",
     [] {
         return HeifFile(Heif([](auto& o) {
             o.offsetSize = 8;
             o.baseOffset = true;
             o.ilocVersion = 1;
             o.extents = 2;
         }));
     },
     true, 0, kDate, kMake, 4032, 3024},
    {"heif/64_bit_mdat_size",
     [] {
         return HeifFile(Heif([](auto& o) {
             o.largeMdat = true;
             o.exifAtEnd = true;
         }));
     },
     true, 0, kDate, kMake, 4032, 3024},
    {"heif/avif_brand", [] { return HeifFile(Heif([](auto& o) { o.brand = "avif"; })); }, true, 0,
     kDate, kMake, 4032, 3024},
    // Cut short before any date: damaged, not undated.
    {"heif/file_cut_inside_meta", [] { return Cut(HeifFile(Heif()), 200); }, false,
     IDS_DAMAGED_FILE, "none", "", 0, 0},
    {"heif/exif_item_cut_off",
     [] {
         const Bytes file = HeifFile(Heif([](auto& o) { o.exifAtEnd = true; }));
         return Cut(file, file.size() - 600);
     },
     true, 0, "none", "", 4032, 3024},
    {"heif/meta_size_overruns_file",
     [] {
         const Bytes file = HeifFile(Heif());
         return Patch32(file, Find(file, "meta") - 4, 0x7FFFFFFF);
     },
     false, IDS_DAMAGED_FILE, "none", "", 0, 0},
    {"heif/exif_offset_header_overruns_item",
     [] {
         const Bytes file = HeifFile(Heif());
         return Patch32(file, Find(file, "Exif\0\0") - 4, 0xFFFFFFF0);
     },
     true, 0, "none", "", 4032, 3024},

    // Regression: a box with an empty payload made a read of 0 bytes into no
    // buffer.
    {"heif/empty_item_boxes",
     [] {
         return Concat(
             {Box("ftyp", ToBytes("heic\0\0\0\0")),
              FullBox("meta", 0, Concat({Box("iinf", {}), Box("iloc", {}), Box("iprp", {})}))});
     },
     true, 0, "none", "", 0, 0},

    // Movies: the Apple key first, then the movie header's UTC time.
    {"movie/moov_at_end", [] { return MovieFile(Movie()); }, true, 0, kUtcDate, "Apple", 1920,
     1080},
    {"movie/moov_at_front", [] { return MovieFile(Movie([](auto& o) { o.moovAtEnd = false; })); },
     true, 0, kUtcDate, "Apple", 1920, 1080},
    {"movie/64_bit_mdat_size", [] { return MovieFile(Movie([](auto& o) { o.largeMdat = true; })); },
     true, 0, kUtcDate, "Apple", 1920, 1080},
    {"movie/mvhd_version_1", [] { return MovieFile(Movie([](auto& o) { o.mvhdVersion = 1; })); },
     true, 0, kUtcDate, "Apple", 1920, 1080},
    {"movie/apple_key_wins_as_written",
     [] { return MovieFile(Movie([](auto& o) { o.appleDate = "2019-07-24T11:25:40+0300"; })); },
     true, 0, kAppleDate, "Apple", 1920, 1080},
    {"movie/zero_creation_time_is_no_date",
     [] { return MovieFile(Movie([](auto& o) { o.creationTime = 0; })); }, true, 0, "none", "Apple",
     1920, 1080},
    {"movie/mp4_brand_without_keys",
     [] {
         return MovieFile(Movie([](auto& o) {
             o.brand = "mp42";
             o.make.clear();
             o.model.clear();
         }));
     },
     true, 0, kUtcDate, "", 1920, 1080},
    {"movie/mdat_size_overruns_file",
     [] {
         const Bytes file = MovieFile(Movie());
         return Patch32(file, Find(file, "mdat") - 4, 0x00F00000);
     },
     false, IDS_DAMAGED_FILE, "none", "", 0, 0},
    {"movie/moov_cut_off",
     [] {
         const Bytes file = MovieFile(Movie());
         return Cut(file, file.size() - 10);
     },
     false, IDS_DAMAGED_FILE, "none", "", 0, 0},

    // CR3: the EXIF of CMT1 and CMT2 wins over the movie header.
    {"cr3/cmt1_and_cmt2",
     [] {
         CTiffBuilder cmt1;
         cmt1.Ascii(0, 0x010F, "Canon").Short(0, 0x0100, 6000).Short(0, 0x0101, 4000);
         CTiffBuilder cmt2;
         cmt2.Ascii(0, kDateTimeOriginal, "2021:03:04 05:06:07");
         return Cr3File(cmt1.Build(), cmt2.Build(), kMovieTime);
     },
     true, 0, kDate, "Canon", 6000, 4000},
    {"cr3/no_exif_date_takes_movie_header",
     [] {
         CTiffBuilder cmt1;
         cmt1.Ascii(0, 0x010F, "Canon");
         return Cr3File(cmt1.Build(), CTiffBuilder().Build(), kMovieTime);
     },
     true, 0, kUtcDate, "Canon", 0, 0},

    // WebP and PNG, with and without "Exif\0\0" in front of the TIFF data.
    {"webp/bare_tiff", [] { return WebpFile(Camera(), 776, 909); }, true, 0, kDate, kMake, 776,
     909},
    {"webp/exif_prefix",
     [] {
         return WebpFile(Concat({ToBytes("Exif"), {0, 0}, Camera()}), 3, 5);
     },
     true, 0, kDate, kMake, 3, 5},
    {"webp/odd_sized_chunks",
     [] {
         return WebpFile(Concat({Camera(), {0}}), 640, 480);
     },
     true, 0, kDate, kMake, 640, 480},
    {"webp/exif_chunk_overruns_file",
     [] {
         const Bytes file = WebpFile(Camera(), 8, 8);
         return Cut(file, file.size() - 20);
     },
     false, IDS_DAMAGED_FILE, "none", "", 0, 0},
    {"png/bare_tiff", [] { return PngFile(Camera(ByteOrder::Motorola), 640, 480); }, true, 0, kDate,
     kMake, 640, 480},
    {"png/exif_prefix",
     [] {
         return PngFile(Concat({ToBytes("Exif"), {0, 0}, Camera()}), 1, 1);
     },
     true, 0, kDate, kMake, 1, 1},
    {"png/idat_overruns_file",
     [] {
         const Bytes file = PngFile(Camera(), 8, 8);
         return Patch32(file, Find(file, "IDAT") - 4, 0x7FFFFFFF);
     },
     false, IDS_DAMAGED_FILE, "none", "", 0, 0},

    // TIFF-structured raw files: every magic, the first directory from byte 0.
    {"raw/tiff_ii", [] { return Raw(ByteOrder::Intel, 42); }, true, 0, kDate, kMake, 2048, 1536},
    {"raw/tiff_mm", [] { return Raw(ByteOrder::Motorola, 42); }, true, 0, kDate, kMake, 2048, 1536},
    {"raw/orf_iiro", [] { return Raw(ByteOrder::Intel, 0x4F52); }, true, 0, kDate, kMake, 2048,
     1536},
    {"raw/orf_iirs", [] { return Raw(ByteOrder::Intel, 0x5352); }, true, 0, kDate, kMake, 2048,
     1536},
    {"raw/orf_mmor", [] { return Raw(ByteOrder::Motorola, 0x4F52); }, true, 0, kDate, kMake, 2048,
     1536},
    {"raw/rw2", [] { return Raw(ByteOrder::Intel, 0x55); }, true, 0, kDate, kMake, 2048, 1536},
    {"raw/cr2",
     [] {
         return Raw(ByteOrder::Intel, 42, {'C', 'R', 2, 0, 0, 0, 0, 0});
     },
     true, 0, kDate, kMake, 2048, 1536},
    {"raw/no_exif_size_takes_largest_directory",
     [] {
         CTiffBuilder tiff(ByteOrder::Motorola);
         const int second = tiff.AddDirectory();
         tiff.Short(0, 0x0100, 256).Short(0, 0x0101, 171).Next(0, second);
         tiff.Long(second, 0x0100, 6016).Long(second, 0x0101, 4016);
         tiff.Ascii(second, kDateTimeOriginal, "2021:03:04 05:06:07");
         return tiff.Build();
     },
     true, 0, kDate, "", 6016, 4016},
    {"raw/first_directory_past_end",
     [] {
         CTiffBuilder tiff;
         tiff.firstOffset = 0x10000000;
         return tiff.Build();
     },
     false, IDS_DAMAGED_FILE, "none", "", 0, 0},
    {"raw/bigtiff_refused",
     [] { return Bytes{'I', 'I', 0x2B, 0, 8, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0}; }, false,
     IDS_INVALID_JPEG, "none", "", 0, 0},
    {"raw/header_cut_short",
     [] {
         return Bytes{'I', 'I', 0x2A, 0, 8};
     },
     false, IDS_INVALID_JPEG, "none", "", 0, 0},
    {"raw/raf_embedded_jpeg",
     [] {
         const CTiffBuilder camera = CameraTiff(ByteOrder::Motorola, "2021:03:04 05:06:07");
         return RafFile(CJpegBuilder::Photo(&camera, 1600, 1200));
     },
     true, 0, kDate, kMake, 1600, 1200},
    {"raw/raf_jpeg_offset_past_end",
     [] { return Patch32(RafFile(CJpegBuilder::Photo(nullptr)), 84, 0x7FFFFFF0); }, false,
     IDS_INVALID_JPEG, "none", "", 0, 0},
    {"raw/raf_without_jpeg", [] { return Patch32(RafFile(Bytes(8, 0)), 84, 92); }, false,
     IDS_INVALID_JPEG, "none", "", 0, 0},

    // By content, not by name.
    {"other/jpeg",
     [] {
         const CTiffBuilder camera = CameraTiff(ByteOrder::Intel, "2021:03:04 05:06:07");
         return CJpegBuilder::Photo(&camera, 640, 480);
     },
     true, 0, kDate, kMake, 640, 480},
    {"other/unknown_bytes", [] { return ToBytes("<?xpacket begin=?>"); }, false, IDS_INVALID_JPEG,
     "none", "", 0, 0},
    {"other/empty", [] { return Bytes{}; }, false, IDS_INVALID_JPEG, "none", "", 0, 0},
};

class ImageReadTest : public ::testing::TestWithParam<ReadCase> {
protected:
    testsupport::CTempDir m_dir;
    testsupport::CScopedTimeZone m_tz{"UTC0"};
};

TEST_P(ImageReadTest, GivesRecord) {
    const ReadCase& c = GetParam();
    // Every case is named as a raw photo: the content decides.
    const std::string path = m_dir.File("x.nef");
    ASSERT_TRUE(WriteFile(path, c.file()));
    CJpegFile reader;
    EXPECT_EQ(reader.LoadImage(path.c_str()), c.ok);
    EXPECT_EQ(reader.m_nErrorId, c.errorId);
    const CJpegInfo& info = reader.m_info;
    EXPECT_EQ(info.m_dtTaken == 0 ? "none" : DateText(ole::ToFields(info.m_dtTaken)), c.date);
    EXPECT_STREQ(info.m_szCameraMake, c.make);
    EXPECT_EQ(info.m_nWidth, c.width);
    EXPECT_EQ(info.m_nHeight, c.height);
    if (c.ok) {
        EXPECT_STREQ(info.m_szFileName, path.c_str());
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ImageReadTest, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '/', '_');
                             return name;
                         });

// The movie header's time is UTC: the record holds it in the local zone,
// daylight saving included.
TEST(MovieDate, HeaderTimeIsShownInTheLocalZone) {
    struct ZoneCase {
        const char* tz;
        const char* date;
    };
    const ZoneCase cases[] = {
        {"UTC0", kUtcDate},
        {"CET-1CEST,M3.5.0,M10.5.0/3", "2019-07-24 10:25:57"},
        {"EST5EDT,M3.2.0,M11.1.0", "2019-07-24 04:25:57"},
    };
    testsupport::CTempDir dir;
    const std::string path = dir.File("clip.mov");
    ASSERT_TRUE(WriteFile(path, MovieFile(Movie())));
    for (const ZoneCase& c : cases) {
        testsupport::CScopedTimeZone tz(c.tz);
        CJpegFile reader;
        ASSERT_TRUE(reader.LoadImage(path.c_str())) << c.tz;
        EXPECT_EQ(DateText(ole::ToFields(reader.m_info.m_dtTaken)), c.date) << c.tz;
    }
}

// Large files cost only their metadata: the media data of a movie, the image
// data of a raw file and the picture of a HEIF are never read. Small ones
// cost no more than their metadata can: eight PNG text chunks that inflate to
// megabytes each are inflated as far as one, or only until they show that
// they hold no EXIF block or XMP packet.
TEST(ImageRead, ReadsOnlyTheMetadataOfLargeFiles) {
    constexpr std::size_t kLarge = 8 * 1024 * 1024;
    constexpr std::uint64_t kMostRead = 64 * 1024;
    constexpr std::uint64_t kSmall = UINT64_MAX; // under 1 MB: what it inflates counts
    struct SizeCase {
        const char* name;
        Bytes file;
        bool dated = true;
        std::uint64_t mostRead = kMostRead;
        std::uint64_t mostInflated = 0;
    };
    // A TIFF whose directories follow its image data, as camera TIFFs have
    // their Exif directory.
    const Bytes tiffAfterImage = [] {
        CTiffBuilder tiff = CameraTiff(ByteOrder::Intel, "2021:03:04 05:06:07");
        tiff.afterHeader = Bytes(kLarge, 0x55);
        return tiff.Build();
    }();
    // Eight text chunks of megabytes each.
    const std::size_t tooLong = CChunkReader::kMaxExifChunk + 1;
    const Bytes profiles = ProfilesPng(true, tooLong, 8), zeros = ProfilesPng(false, tooLong, 8);
    const Bytes xmp = PngWithChunks(
        std::vector<Bytes>(8, PngIText("XML:com.adobe.xmp",
                                       ToBytes("<x:xmpmeta>" + std::string(2 << 20, ' ')), true)),
        {});
    const SizeCase cases[] = {
        {"movie_moov_at_end", MovieFile(Movie([](auto& o) { o.mediaSize = kLarge; }))},
        {"tiff_directories_after_image", tiffAfterImage},
        {"png_profiles_too_long", profiles, false, kSmall, CChunkReader::kMaxProfileText},
        {"png_profiles_not_exif", zeros, false, kSmall, kMostRead},
        {"png_xmp_texts_long", xmp, false, kSmall, CChunkReader::kMaxXmpPacket},
    };
    testsupport::CTempDir dir;
    testsupport::CScopedTimeZone tz("UTC0");
    for (const SizeCase& c : cases) {
        const std::string path = dir.File(c.name);
        ASSERT_TRUE(WriteFile(path, c.file));
        CJpegFile reader;
        reader.m_bReadHints = true; // every text chunk counts
        ASSERT_TRUE(reader.LoadImage(path.c_str())) << c.name;
        EXPECT_EQ(reader.m_info.m_dtTaken != 0.0, c.dated) << c.name;
        EXPECT_LE(reader.m_nBytesRead, c.mostRead) << c.name;
        EXPECT_LE(reader.m_nBytesInflated, c.mostInflated) << c.name;
    }
}

// The work budget is one per file: a CR3 whose first TIFF box spends it all
// leaves nothing for the second, where the date is.
TEST(ImageRead, ExifWorkBudgetSpansAllBlocksOfAFile) {
    // Four directories of 65535 entries, each entry a sub-directory link to
    // one of them: the walk meets every directory on every nesting level.
    CTiffBuilder heavy(ByteOrder::Intel);
    for (int d = 1; d < 4; ++d)
        heavy.AddDirectory();
    for (int d = 0; d < 4; ++d) {
        for (int e = 0; e < 65535; ++e)
            heavy.SubDirectory(d, 0x8769, e % 4);
    }
    CTiffBuilder dated;
    dated.Ascii(0, kDateTimeOriginal, "2021:03:04 05:06:07");
    testsupport::CTempDir dir;
    const std::string alone = dir.File("alone.cr3");
    const std::string both = dir.File("both.cr3");
    ASSERT_TRUE(WriteFile(alone, Cr3File(CTiffBuilder().Build(), dated.Build())));
    ASSERT_TRUE(WriteFile(both, Cr3File(heavy.Build(), dated.Build())));
    CJpegFile reader;
    ASSERT_TRUE(reader.LoadImage(alone.c_str()));
    EXPECT_NE(reader.m_info.m_dtTaken, 0.0);
    ASSERT_TRUE(reader.LoadImage(both.c_str()));
    EXPECT_EQ(reader.m_info.m_dtTaken, 0.0);
    EXPECT_EQ(reader.m_nErrorId, IDS_NESTING_EXCEEDED);
}

// The front door fills any record: a RAF's embedded JPEG goes through the
// section walk into the caller's own table, with no JPEG reader object.
TEST(ImageRead, FrontDoorFillsARecordAndTableOfItsOwn) {
    const CTiffBuilder camera = CameraTiff(ByteOrder::Motorola, "2021:03:04 05:06:07");
    testsupport::CTempDir dir;
    testsupport::CScopedTimeZone tz("UTC0");
    const std::string path = dir.File("_DSF1.RAF");
    ASSERT_TRUE(WriteFile(path, RafFile(CJpegBuilder::Photo(&camera, 1600, 1200))));
    CImageRecord record;
    CJpegSections sections;
    CImageReader reader(record, sections);
    CFileStream file;
    const bool open = file.Open(path.c_str());
    ASSERT_TRUE(reader.ReadOpened(file, open, path.c_str(), true));
    EXPECT_EQ(record.m_format, FileFormat::Raf);
    EXPECT_EQ(DateText(ole::ToFields(record.m_info.m_dtTaken)), kDate);
    EXPECT_EQ(record.m_info.m_nWidth, 1600);
    ASSERT_EQ(sections.m_nSections, 3); // APP1 "Exif", frame header, start of scan
    EXPECT_EQ(sections.m_sections[0].nMarker, 0xE1);
}

// The read system calls this process made so far, from the kernel's own
// count (-1 where it keeps none).
long ReadCalls() {
    std::ifstream io("/proc/self/io");
    std::string key;
    for (long value = 0; io >> key >> value;) {
        if (key == "syscr:")
            return value;
    }
    return -1;
}

// A file read up to the size it had at open takes one system call, not a
// second one to hear that it ends, through the buffer and past it alike.
TEST(FileStream, ReadToItsSizeTakesOneSystemCall) {
    testsupport::CTempDir dir;
    const std::string path = dir.File("small.jpg");
    ASSERT_TRUE(WriteFile(path, Bytes(3000, 0x11)));
    const long first = ReadCalls();
    const long own = ReadCalls() - first; // the reads of asking
    if (first < 0)
        GTEST_SKIP() << "no read count in /proc/self/io";
    for (const std::size_t asked : {std::size_t(100), std::size_t(3000), std::size_t(40000)}) {
        CFileStream file;
        ASSERT_TRUE(file.Open(path.c_str()));
        Bytes got(asked);
        const long before = ReadCalls();
        EXPECT_EQ(file.Read(got.data(), got.size()), std::min<std::size_t>(asked, 3000)) << asked;
        EXPECT_EQ(file.Read(got.data(), 1), asked < 3000 ? 1u : 0u) << asked;
        // The second read of a file read whole asks, and hears of its end.
        EXPECT_EQ(ReadCalls() - before - own, asked < 3000 ? 1 : 2) << asked;
    }
}

TEST(ImageType, TellsTypeAndKindByExtension) {
    struct TypeCase {
        const char* name;
        const char* extension; // nullptr: not one of ours
        ImageKind kind;
    };
    const TypeCase cases[] = {
        {"IMG_0001.JPG", "jpg", ImageKind::Jpeg},   {"a.jfif", "jfif", ImageKind::Jpeg},
        {"x.Jpe", "jpe", ImageKind::Jpeg},          {"IMG_0001.HEIC", "heic", ImageKind::Heif},
        {"p.avif", "avif", ImageKind::Heif},        {"DSC_0001.NEF", "nef", ImageKind::Raw},
        {"IMG_0001.CR3", "cr3", ImageKind::Raw},    {"P1.3fr", "3fr", ImageKind::Raw},
        {"_DSF1.RAF", "raf", ImageKind::Raw},       {"clip.MOV", "mov", ImageKind::Video},
        {"clip.3gp", "3gp", ImageKind::Video},      {"scan.TIFF", "tiff", ImageKind::OtherImage},
        {"shot.png", "png", ImageKind::OtherImage}, {"folder.jpg/notes", nullptr, ImageKind::Jpeg},
        {"IMG_0001.xmp", nullptr, ImageKind::Jpeg}, {"jpg", nullptr, ImageKind::Jpeg},
        {"a.jpg.", nullptr, ImageKind::Jpeg},
    };
    for (const TypeCase& c : cases) {
        const ImageType* type = ImageTypeOf(c.name);
        if (c.extension == nullptr) {
            EXPECT_EQ(type, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(type, nullptr) << c.name;
        EXPECT_EQ(type->extension, c.extension) << c.name;
        EXPECT_EQ(type->kind, c.kind) << c.name;
    }
}

} // namespace
