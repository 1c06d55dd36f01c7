// The readers of AVI, AVCHD, CRW and MRW files and the QuickTime files
// without a file-type box: the date taken each finds (fields, source, offset),
// on builder-made files and on the real samples of the dates corpus. Each
// builder case starts from a valid file of its type and changes one thing.

#include "avi_reader.h"
#include "found_date.h"
#include "image_type.h"
#include "jpeg_builder.h"
#include "jpeg_file.h"
#include "media_builder.h"
#include "mts_reader.h"
#include "ole_date.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <string>

namespace {

using namespace testdata;
using namespace velmora;
using testsupport::DateText;

constexpr std::int16_t kNone = kNoOffset;
const char* const kExifDate = "2021:03:04 05:06:07";
const char* const kMake = "Quorvant Optics";
// 2019-07-24 08:25:57 UTC as QuickTime seconds.
constexpr std::uint64_t kMovieTime = 2082844800ull + 1563956757;

AviOptions Avi(const std::function<void(AviOptions&)>& change = {}) {
    AviOptions o;
    o.idit = "Mon Mar 10 15:04:43 2003\n";
    if (change)
        change(o);
    return o;
}

MtsOptions Mts(const std::function<void(MtsOptions&)>& change = {}) {
    MtsOptions o;
    if (change)
        change(o);
    return o;
}

CrwOptions Crw(const std::function<void(CrwOptions&)>& change = {}) {
    CrwOptions o;
    if (change)
        change(o);
    return o;
}

Bytes Cut(Bytes bytes, std::size_t size) {
    bytes.resize(std::min(size, bytes.size()));
    return bytes;
}

std::size_t Find(const Bytes& bytes, std::string_view text) {
    const auto it = std::search(bytes.begin(), bytes.end(), text.begin(), text.end());
    return static_cast<std::size_t>(it - bytes.begin());
}

Bytes Patch(Bytes bytes, std::size_t at, const Bytes& value) {
    std::copy(value.begin(), value.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

// A movie as QuickTime wrote it before the file-type box: MovieFile without
// its ftyp.
Bytes WithoutFtyp(const Bytes& movie) {
    const std::size_t size =
        std::size_t(movie[0]) << 24 | movie[1] << 16 | movie[2] << 8 | movie[3];
    return Bytes(movie.begin() + static_cast<std::ptrdiff_t>(size), movie.end());
}

// 100-ns units since 1601 of a UTC time, as two u32 little-endian, the high
// half first or last.
Bytes FileTime(std::int64_t unixSeconds, bool highFirst) {
    const std::uint64_t units = std::uint64_t(unixSeconds + 11644473600) * 10000000 + 1230000;
    const Bytes high = U32LE(static_cast<std::uint32_t>(units >> 32));
    const Bytes low = U32LE(static_cast<std::uint32_t>(units));
    return highFirst ? Concat({high, low}) : Concat({low, high});
}

struct DateCase {
    const char* name;
    Bytes file;
    FileFormat format;
    const char* date; // "none" when the file gives none
    DateSource source;
    bool time;
    std::int16_t offset;
    const char* make;
    int width;
    int height;
};

const DateCase kDateCases[] = {
    // AVI: IDIT in its text forms, INFO before or after the media, the EXIF
    // of a stream's strd.
    {"avi/idit_asctime", AviFile(Avi()), FileFormat::Avi, "2003-03-10 15:04:43",
     DateSource::AviDateTime, true, kNone, "", 640, 480},
    {"avi/idit_upper_case_padded_day",
     AviFile(Avi([](auto& o) { o.idit = std::string("MON SEP  3 20:52:00 2012\n\0", 26); })),
     FileFormat::Avi, "2012-09-03 20:52:00", DateSource::AviDateTime, true, kNone, "", 640, 480},
    {"avi/idit_slash_form_keeps_seconds",
     AviFile(Avi([](auto& o) { o.idit = "2009/10/27 12:14:34"; })), FileFormat::Avi,
     "2009-10-27 12:14:34", DateSource::AviDateTime, true, kNone, "", 640, 480},
    {"avi/icrd_date_only_after_movi", AviFile(Avi([](auto& o) {
         o.idit.clear();
         o.icrd = "2020-08-28";
     })),
     FileFormat::Avi, "2020-08-28 00:00:00", DateSource::AviCreated, false, kNone, "", 640, 480},
    {"avi/icrd_with_time_before_movi", AviFile(Avi([](auto& o) {
         o.idit.clear();
         o.icrd = "2020-08-28 10:11:12";
         o.infoAtEnd = false;
     })),
     FileFormat::Avi, "2020-08-28 10:11:12", DateSource::AviCreated, true, kNone, "", 640, 480},
    {"avi/idit_outranks_icrd", AviFile(Avi([](auto& o) { o.icrd = "2020-08-28"; })),
     FileFormat::Avi, "2003-03-10 15:04:43", DateSource::AviDateTime, true, kNone, "", 640, 480},
    {"avi/dtim_file_time_high_half_first", AviFile(Avi([](auto& o) {
         o.idit.clear();
         o.dtim = FileTime(1433664550, true); // 2015-06-07 08:09:10
     })),
     FileFormat::Avi, "2015-06-07 08:09:10", DateSource::AviCreated, true, kNone, "", 640, 480},
    {"avi/dtim_file_time_low_half_first", AviFile(Avi([](auto& o) {
         o.idit.clear();
         o.dtim = FileTime(1433664550, false);
     })),
     FileFormat::Avi, "2015-06-07 08:09:10", DateSource::AviCreated, true, kNone, "", 640, 480},
    {"avi/dtim_text", AviFile(Avi([](auto& o) {
         o.idit.clear();
         o.dtim = ToBytes(std::string("2011:02:03 04:05:06\0", 20));
     })),
     FileFormat::Avi, "2011-02-03 04:05:06", DateSource::AviCreated, true, kNone, "", 640, 480},
    {"avi/strd_exif_outranks_idit", AviFile(Avi([](auto& o) {
         o.strdTiff = CameraTiff(ByteOrder::Intel, kExifDate).Build();
     })),
     FileFormat::Avi, "2021-03-04 05:06:07", DateSource::ExifOriginal, true, kNone, kMake, 640,
     480},
    {"avi/riff_size_zero_of_a_cut_recording",
     AviFile(Avi([](auto& o) {
         o.idit.clear();
         o.icrd = "2020-08-28";
         o.riffSize = 0;
     })),
     FileFormat::Avi, "2020-08-28 00:00:00", DateSource::AviCreated, false, kNone, "", 640, 480},
    {"avi/riff_size_past_end", AviFile(Avi([](auto& o) {
         o.idit.clear();
         o.icrd = "2020-08-28";
         o.riffSize = 0x7FFFFFF0;
     })),
     FileFormat::Avi, "2020-08-28 00:00:00", DateSource::AviCreated, false, kNone, "", 640, 480},
    {"avi/movi_overrunning_file_ends_walk", [] {
         const Bytes file = AviFile(Avi([](auto& o) {
             o.idit.clear();
             o.icrd = "2020-08-28";
         }));
         return Patch(file, Find(file, "movi") - 4, U32LE(0x7FFFFFF0));
     }(),
     FileFormat::Avi, "none", DateSource::None, false, kNone, "", 640, 480},
    {"avi/cut_inside_header_list", Cut(AviFile(Avi()), 100), FileFormat::Avi, "none",
     DateSource::None, false, kNone, "", 640, 480},
    {"avi/idit_not_a_date", AviFile(Avi([](auto& o) { o.idit = "Mon Mar 32 15:04:43 2003"; })),
     FileFormat::Avi, "none", DateSource::None, false, kNone, "", 640, 480},
    {"avi/picture_size_beyond_record", AviFile(Avi([](auto& o) { o.width = 70000; })),
     FileFormat::Avi, "2003-03-10 15:04:43", DateSource::AviDateTime, true, kNone, "", 0, 0},

    // AVCHD: the MDPM of the H.264 SEI, its zone byte giving the offset.
    {"mts/m2ts_192", MtsFile(Mts()), FileFormat::Mts, "2008-12-31 23:16:24",
     DateSource::AvchdDateTime, true, 60, "", 0, 0},
    {"mts/ts_188", MtsFile(Mts([](auto& o) { o.packetSize = 188; })), FileFormat::Mts,
     "2008-12-31 23:16:24", DateSource::AvchdDateTime, true, 60, "", 0, 0},
    {"mts/sei_without_escapes", MtsFile(Mts([](auto& o) { o.zeroEntry = false; })),
     FileFormat::Mts, "2008-12-31 23:16:24", DateSource::AvchdDateTime, true, 60, "", 0, 0},
    {"mts/date_in_second_access_unit", MtsFile(Mts([](auto& o) { o.dateInSecondUnit = true; })),
     FileFormat::Mts, "2008-12-31 23:16:24", DateSource::AvchdDateTime, true, 60, "", 0, 0},
    {"mts/other_video_pid", MtsFile(Mts([](auto& o) { o.videoPid = 0x0E0; })), FileFormat::Mts,
     "2008-12-31 23:16:24", DateSource::AvchdDateTime, true, 60, "", 0, 0},
    {"mts/zone_minus_nine_and_a_half", MtsFile(Mts([](auto& o) { o.zone = 0x20 | 9 << 1 | 1; })),
     FileFormat::Mts, "2008-12-31 23:16:24", DateSource::AvchdDateTime, true, -570, "", 0, 0},
    {"mts/zone_daylight_saving", MtsFile(Mts([](auto& o) {
         o.zone = 0x40 | 1 << 1;
         o.dateBcd = {0x20, 0x21, 0x07, 0x04, 0x10, 0x20, 0x30};
     })),
     FileFormat::Mts, "2021-07-04 10:20:30", DateSource::AvchdDateTime, true, 120, "", 0, 0},
    {"mts/date_not_bcd", MtsFile(Mts([](auto& o) { o.dateBcd[2] = 0x1A; })), FileFormat::Mts,
     "none", DateSource::None, false, kNone, "", 0, 0},
    {"mts/no_mdpm", MtsFile(Mts([](auto& o) { o.withDate = false; })), FileFormat::Mts, "none",
     DateSource::None, false, kNone, "", 0, 0},
    {"mts/cut_inside_mdpm", [] {
         const Bytes file = MtsFile(Mts());
         return Cut(file, Find(file, "MDPM") + 8);
     }(),
     FileFormat::Mts, "none", DateSource::None, false, kNone, "", 0, 0},
    {"mts/video_beyond_read_window",
     MtsFile(Mts([](auto& o) { o.leadingPackets = CMtsReader::kReadWindow / 192 + 2; })),
     FileFormat::Mts, "none", DateSource::None, false, kNone, "", 0, 0},

    // CRW: the TimeStamp of the image properties heap, make and model of its
    // sub-heap.
    {"crw/plain", CrwFile(Crw()), FileFormat::Crw, "2003-11-10 17:39:26",
     DateSource::CrwTimeStamp, true, kNone, "Canon", 3072, 2048},
    {"crw/nested_deeper", CrwFile(Crw([](auto& o) { o.extraNesting = 3; })), FileFormat::Crw,
     "2003-11-10 17:39:26", DateSource::CrwTimeStamp, true, kNone, "Canon", 3072, 2048},
    {"crw/nested_past_depth_limit", CrwFile(Crw([](auto& o) { o.extraNesting = 12; })),
     FileFormat::Crw, "none", DateSource::None, false, kNone, "", 0, 0},
    {"crw/no_time_stamp", CrwFile(Crw([](auto& o) { o.withTimeStamp = false; })), FileFormat::Crw,
     "none", DateSource::None, false, kNone, "Canon", 3072, 2048},
    {"crw/clock_never_set", CrwFile(Crw([](auto& o) { o.timeStamp = 0; })), FileFormat::Crw,
     "none", DateSource::None, false, kNone, "Canon", 3072, 2048},
    {"crw/directory_offset_past_heap", [] {
         const Bytes file = CrwFile(Crw());
         return Patch(file, file.size() - 4, U32LE(0xFFFFFFF0));
     }(),
     FileFormat::Crw, "none", DateSource::None, false, kNone, "", 0, 0},
    {"crw/cut_before_root_directory", [] {
         const Bytes file = CrwFile(Crw());
         return Cut(file, file.size() - 3);
     }(),
     FileFormat::Crw, "none", DateSource::None, false, kNone, "", 0, 0},
    {"crw/header_length_past_end", Patch(CrwFile(Crw()), 2, U32LE(0x10000000)), FileFormat::Crw,
     "none", DateSource::None, false, kNone, "", 0, 0},

    // MRW: the TIFF data of the TTW block, its offsets from the block's data.
    {"mrw/ttw_big_endian", MrwFile(CameraTiff(ByteOrder::Motorola, kExifDate).Build()),
     FileFormat::Mrw, "2021-03-04 05:06:07", DateSource::ExifOriginal, true, kNone, kMake, 2048,
     1536},
    {"mrw/ttw_little_endian", MrwFile(CameraTiff(ByteOrder::Intel, kExifDate).Build()),
     FileFormat::Mrw, "2021-03-04 05:06:07", DateSource::ExifOriginal, true, kNone, kMake, 2048,
     1536},
    {"mrw/ttw_overruns_block_area",
     Patch(MrwFile(CameraTiff(ByteOrder::Motorola, kExifDate).Build()), 4, U32BE(40)),
     FileFormat::Mrw, "none", DateSource::None, false, kNone, "", 0, 0},
    {"mrw/cut_inside_ttw", [] {
         const Bytes file = MrwFile(CameraTiff(ByteOrder::Motorola, kExifDate).Build());
         return Cut(file, Find(file, "TTW") + 40);
     }(),
     FileFormat::Mrw, "none", DateSource::None, false, kNone, "", 0, 0},

    // QuickTime without ftyp, 3GPP2 and .HIF brands: the movie and HEIF readers.
    {"mov/moov_first_without_ftyp", [] {
         MovieOptions o;
         o.creationTime = kMovieTime;
         o.moovAtEnd = false;
         return WithoutFtyp(MovieFile(o));
     }(),
     FileFormat::Movie, "2019-07-24 08:25:57", DateSource::MovieHeader, true, 0, "", 1920, 1080},
    {"mov/wide_and_mdat_first_without_ftyp", [] {
         MovieOptions o;
         o.creationTime = kMovieTime;
         return WithoutFtyp(MovieFile(o));
     }(),
     FileFormat::Movie, "2019-07-24 08:25:57", DateSource::MovieHeader, true, 0, "", 1920, 1080},
    {"mov/3g2_brand", [] {
         MovieOptions o;
         o.brand = "3g2a";
         o.creationTime = kMovieTime;
         return MovieFile(o);
     }(),
     FileFormat::Movie, "2019-07-24 08:25:57", DateSource::MovieHeader, true, 0, "", 1920, 1080},
    {"heif/heix_brand", [] {
         HeifOptions o;
         o.brand = "heix";
         o.tiff = CameraTiff(ByteOrder::Intel, kExifDate).Build();
         return HeifFile(o);
     }(),
     FileFormat::Heif, "2021-03-04 05:06:07", DateSource::ExifOriginal, true, kNone, kMake, 4032,
     3024},
};

void PrintTo(const DateCase& c, std::ostream* os) {
    *os << c.name;
}

class ContainerDateTest : public ::testing::TestWithParam<DateCase> {
protected:
    testsupport::CTempDir m_dir;
    testsupport::CScopedTimeZone m_tz{"UTC0"};
};

TEST_P(ContainerDateTest, FindsDateTaken) {
    const DateCase& c = GetParam();
    // The content decides the reader, not the name.
    const std::string path = m_dir.File("x.dat");
    ASSERT_TRUE(WriteFile(path, c.file));
    {
        const std::size_t probe = std::min(c.file.size(), kFormatProbeSize);
        EXPECT_EQ(DetectFileFormat(c.file.data(), probe, c.file.size()), c.format);
    }
    CJpegFile reader;
    EXPECT_TRUE(reader.LoadImage(path.c_str()));
    const CFoundDate& taken = reader.m_taken;
    EXPECT_EQ(taken.Found() ? DateText(taken.fields) : "none", c.date);
    EXPECT_EQ(taken.source, c.source);
    EXPECT_EQ(taken.bTime, c.time);
    EXPECT_EQ(taken.nOffset, c.offset);
    // The record's date agrees with the date found (UTC0 for movie headers).
    EXPECT_EQ(reader.m_info.m_dtTaken == 0 ? "none"
                                           : DateText(ole::ToFields(reader.m_info.m_dtTaken)),
              c.date);
    EXPECT_STREQ(reader.m_info.m_szCameraMake, c.make);
    EXPECT_EQ(reader.m_info.m_nWidth, c.width);
    EXPECT_EQ(reader.m_info.m_nHeight, c.height);
}

INSTANTIATE_TEST_SUITE_P(Files, ContainerDateTest, ::testing::ValuesIn(kDateCases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '/', '_');
                             return name;
                         });

// A file cut anywhere gives the date of the whole file or none, never another.
TEST(ContainerDates, CutFilesGiveTheirDateOrNone) {
    struct CutCase {
        const char* name;
        Bytes file;
        const char* date;
    };
    const CutCase cases[] = {
        {"avi", AviFile(Avi([](auto& o) {
             o.icrd = "2020-08-28";
             o.mediaSize = 16;
         })),
         "2003-03-10 15:04:43"},
        {"mts", MtsFile(Mts([](auto& o) { o.sliceSize = 16; })), "2008-12-31 23:16:24"},
        {"crw", CrwFile(Crw([](auto& o) { o.imageSize = 64; })), "2003-11-10 17:39:26"},
        {"mrw", MrwFile(CameraTiff(ByteOrder::Intel, kExifDate).Build(), 64),
         "2021-03-04 05:06:07"},
    };
    testsupport::CTempDir dir;
    const std::string path = dir.File("cut");
    for (const CutCase& c : cases) {
        // Some 150 cuts per file, a few bytes apart.
        const std::size_t step = 3 + c.file.size() / 150;
        for (std::size_t size = 0; size < c.file.size(); size += step) {
            ASSERT_TRUE(WriteFile(path, Cut(c.file, size)));
            CJpegFile reader;
            reader.LoadImage(path.c_str());
            if (reader.m_taken.Found()) {
                EXPECT_EQ(DateText(reader.m_taken.fields), c.date) << c.name << " cut at " << size;
            }
        }
    }
}

// The media data of a large file is never read: the walk seeks over it.
TEST(ContainerDates, ReadOnlyMetadataOfLargeFiles) {
    constexpr std::size_t kLarge = 8 * 1024 * 1024;
    struct SizeCase {
        const char* name;
        Bytes file;
        std::uint64_t mostRead;
    };
    const SizeCase cases[] = {
        {"avi_info_after_movi", AviFile(Avi([](auto& o) {
             o.idit.clear();
             o.icrd = "2020-08-28";
             o.mediaSize = kLarge;
         })),
         64 * 1024},
        {"crw_large_image", CrwFile(Crw([](auto& o) { o.imageSize = kLarge; })), 64 * 1024},
        {"mrw_large_image", MrwFile(CameraTiff(ByteOrder::Intel, kExifDate).Build(), kLarge),
         64 * 1024},
        // The transport stream is read up to its window, in buffer-sized steps.
        {"mts_no_date",
         [] {
             MtsOptions o;
             o.withDate = false;
             o.sliceSize = kLarge / 4;
             return MtsFile(o);
         }(),
         CMtsReader::kReadWindow + 32 * 1024},
    };
    testsupport::CTempDir dir;
    for (const SizeCase& c : cases) {
        const std::string path = dir.File(c.name);
        ASSERT_TRUE(WriteFile(path, c.file));
        CJpegFile reader;
        ASSERT_TRUE(reader.LoadImage(path.c_str())) << c.name;
        EXPECT_LE(reader.m_nBytesRead, c.mostRead) << c.name;
    }
}

// The XMP of the top-level _PMX chunk is read only when hints are asked for.
TEST(ContainerDates, AviXmpOnlyWithHints) {
    const std::string xmp =
        "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta "
        "xmlns:x=\"adobe:ns:meta/\">"
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
        "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmp:CreateDate=\"2010-01-02T03:04:05\"/>"
        "</rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
    testsupport::CTempDir dir;
    const std::string path = dir.File("clip.avi");
    ASSERT_TRUE(WriteFile(path, AviFile(Avi([&](auto& o) { o.xmp = xmp; }))));
    for (const bool hints : {false, true}) {
        CJpegFile reader;
        reader.m_bReadHints = hints;
        ASSERT_TRUE(reader.LoadImage(path.c_str()));
        EXPECT_EQ(reader.m_taken.source, DateSource::AviDateTime);
        EXPECT_EQ(reader.m_xmpDate.Found(), hints);
        if (hints) {
            EXPECT_EQ(DateText(reader.m_xmpDate.fields), "2010-01-02 03:04:05");
            EXPECT_EQ(reader.m_xmpDate.source, DateSource::XmpCreateDate);
        }
    }
}

TEST(ContainerDates, AviDateTexts) {
    struct TextCase {
        std::string text;
        const char* date; // "none" when no date
        bool time;
    };
    const TextCase cases[] = {
        {"Mon Mar 10 15:04:43 2003\n", "2003-03-10 15:04:43", true},
        {"MON SEP 10 20:52:00 2012", "2012-09-10 20:52:00", true},
        {"tue mar  4 01:02:03 2003", "2003-03-04 01:02:03", true},
        {"2009/10/27 12:14:34", "2009-10-27 12:14:34", true},
        {"2001/ 1/27  1:42PM", "2001-01-27 13:42:00", true},
        {"2001/ 1/27 12:05AM", "2001-01-27 00:05:00", true},
        {"2001/ 1/27 12:05 pm", "2001-01-27 12:05:00", true},
        {"2005/11/28/ 09:19", "2005-11-28 09:19:00", true},
        {"2002-12-16  15:35:01", "2002-12-16 15:35:01", true},
        {std::string("2020-08-28\0\0", 12), "2020-08-28 00:00:00", false},
        {"2011:02:03 04:05:06", "2011-02-03 04:05:06", true},
        {"  Mon Mar 10 15:04:43 2003\r\n", "2003-03-10 15:04:43", true},
        {"Mon Foo 10 15:04:43 2003", "none", false},
        {"Monday Mar 10 15:04:43 2003", "none", false},
        {"Mon Feb 30 10:00:00 2003", "none", false},
        {"Mon Mar 10 15:04:43 2003 x", "none", false},
        {"Mon Mar 10 25:04:43 2003", "none", false},
        {"2001/ 1/27 13:42PM", "none", false},
        {"2001/ 1/27 0:42AM", "none", false},
        {"2001/13/27 10:00", "none", false},
        {"2001/1/27", "none", false},
        {"", "none", false},
        {std::string("\0Mon Mar 10 15:04:43 2003", 25), "none", false},
    };
    for (const TextCase& c : cases) {
        const CFoundDate date = ParseAviDateText(c.text, DateSource::AviDateTime);
        EXPECT_EQ(date.Found() ? DateText(date.fields) : "none", c.date) << c.text;
        EXPECT_EQ(date.bTime, c.time) << c.text;
        EXPECT_EQ(date.source, date.Found() ? DateSource::AviDateTime : DateSource::None) << c.text;
    }
}

// The first bytes decide the type; a head too short for a layout's marks is
// not that layout.
TEST(ContainerDates, DetectsByFirstBytes) {
    const auto packets = [](std::size_t size, std::size_t first, std::size_t count) {
        Bytes head(size * count, 0xFF);
        for (std::size_t i = 0; i < count; ++i)
            head[first + i * size] = 0x47;
        return head;
    };
    const Bytes m2ts = packets(192, 4, 3);
    const Bytes ts = packets(188, 0, 3);
    struct HeadCase {
        const char* name;
        Bytes head;
        std::uint64_t fileSize;
        FileFormat format;
    };
    const HeadCase cases[] = {
        {"avi", Concat({ToBytes("RIFF"), U32LE(4), ToBytes("AVI ")}), 0, FileFormat::Avi},
        {"webp", Concat({ToBytes("RIFF"), U32LE(4), ToBytes("WEBP")}), 0, FileFormat::WebP},
        {"riff_cut", ToBytes("RIFF\4\0\0\0AVI"), 0, FileFormat::Unknown},
        {"crw", Concat({ToBytes("II"), U32LE(26), ToBytes("HEAPCCDR")}), 0, FileFormat::Crw},
        {"crw_cut", Concat({ToBytes("II"), U32LE(26), ToBytes("HEAPCCD")}), 0, FileFormat::Unknown},
        {"mrw", Concat({{0}, ToBytes("MRM")}), 0, FileFormat::Mrw},
        {"mrw_cut", Concat({{0}, ToBytes("MR")}), 0, FileFormat::Unknown},
        {"m2ts", m2ts, 0, FileFormat::Mts},
        {"m2ts_two_packets", Cut(m2ts, 197), 0, FileFormat::Mts},
        {"m2ts_one_packet", Cut(m2ts, 196), 0, FileFormat::Unknown},
        {"m2ts_third_sync_missing", Patch(m2ts, 388, {0x48}), 0, FileFormat::Unknown},
        {"ts", ts, 0, FileFormat::Mts},
        {"ts_two_packets", Cut(ts, 189), 0, FileFormat::Mts},
        {"ts_third_sync_missing", Patch(ts, 376, {0x00}), 0, FileFormat::Unknown},
        {"qt_moov", Concat({U32BE(0x115D), ToBytes("moov")}), 0x2000, FileFormat::Movie},
        {"qt_moov_overruns_file", Concat({U32BE(0x115D), ToBytes("moov")}), 0x1000,
         FileFormat::Unknown},
        {"qt_size_below_header", Concat({U32BE(7), ToBytes("moov")}), 0x1000, FileFormat::Unknown},
        {"qt_mdat_to_end", Concat({U32BE(0), ToBytes("mdat")}), 0x1000, FileFormat::Movie},
        {"qt_wide", Concat({U32BE(8), ToBytes("wide")}), 8, FileFormat::Movie},
        {"qt_free", Concat({U32BE(8), ToBytes("free")}), 100, FileFormat::Movie},
        {"qt_skip", Concat({U32BE(8), ToBytes("skip")}), 100, FileFormat::Movie},
        {"qt_pnot", Concat({U32BE(20), ToBytes("pnot")}), 100, FileFormat::Movie},
        {"qt_large_size", Concat({U32BE(1), ToBytes("mdat"), U64BE(0x10000)}), 0x10000,
         FileFormat::Movie},
        {"qt_large_size_cut", Concat({U32BE(1), ToBytes("mdat"), U32BE(0)}), 0x10000,
         FileFormat::Unknown},
        {"qt_large_size_below_header", Concat({U32BE(1), ToBytes("mdat"), U64BE(15)}), 0x10000,
         FileFormat::Unknown},
        {"qt_other_atom", Concat({U32BE(8), ToBytes("abcd")}), 100, FileFormat::Unknown},
        {"3g2", Concat({U32BE(20), ToBytes("ftyp3g2a")}), 0, FileFormat::Movie},
        {"heix", Concat({U32BE(20), ToBytes("ftypheix")}), 0, FileFormat::Heif},
        {"jpeg_two_bytes", {0xFF, 0xD8}, 0, FileFormat::Jpeg},
        {"tiff", ToBytes(std::string("II*\0\x08\0\0\0", 8)), 0, FileFormat::Tiff},
        {"empty", {}, 0, FileFormat::Unknown},
    };
    for (const HeadCase& c : cases)
        EXPECT_EQ(DetectFileFormat(c.head.data(), c.head.size(), c.fileSize), c.format) << c.name;
}

TEST(ContainerDates, KnowsTheExtensions) {
    struct TypeCase {
        const char* name;
        const char* extension;
        ImageKind kind;
    };
    const TypeCase cases[] = {
        {"MVI_0001.AVI", "avi", ImageKind::Video}, {"00001.MTS", "mts", ImageKind::Video},
        {"00001.m2ts", "m2ts", ImageKind::Video},  {"clip.3G2", "3g2", ImageKind::Video},
        {"CRW_1602.CRW", "crw", ImageKind::Raw},   {"PICT0001.MRW", "mrw", ImageKind::Raw},
        {"R5_0001.HIF", "hif", ImageKind::Heif},
    };
    for (const TypeCase& c : cases) {
        const ImageType* type = ImageTypeOf(c.name);
        ASSERT_NE(type, nullptr) << c.name;
        EXPECT_EQ(type->extension, c.extension) << c.name;
        EXPECT_EQ(type->kind, c.kind) << c.name;
    }
}

// The real samples: each found as its type and with the date an independent
// reader gives (expected.tsv), its source and offset.
TEST(ContainerDates, CorpusSamples) {
    const std::string folder = testsupport::CorpusDir() + "/dates";
    struct stat st {};
    if (stat((folder + "/expected.tsv").c_str(), &st) != 0)
        GTEST_SKIP() << "dates corpus not found at " << folder;
    struct SampleCase {
        const char* name;
        const char* date;
        DateSource source;
        bool time;
        std::int16_t offset;
        std::int16_t millis;
    };
    const SampleCase cases[] = {
        {"Canon_MVI01_IDIT.avi", "2003-03-10 15:04:43", DateSource::AviDateTime, true, kNone, 0},
        {"ICRD_after_movi.avi", "2020-08-28 00:00:00", DateSource::AviCreated, false, kNone, 0},
        {"Canon_AVCHD.mts", "2008-12-31 23:16:24", DateSource::AvchdDateTime, true, 60, 0},
        {"Canon_EOS_DIGITAL_REBEL.crw", "2003-11-10 17:39:26", DateSource::CrwTimeStamp, true,
         kNone, 0},
        // The movie header's time, in UTC.
        {"classic_moov_first.mov", "2025-02-24 10:11:57", DateSource::MovieHeader, true, 0, 0},
        {"Canon_EOS_R5.HIF", "2021-02-18 19:54:47", DateSource::ExifOriginal, true, 0, 200},
    };
    for (const SampleCase& c : cases) {
        SCOPED_TRACE(c.name);
        CJpegFile reader;
        ASSERT_TRUE(reader.LoadImage((folder + "/" + c.name).c_str()));
        const CFoundDate& taken = reader.m_taken;
        EXPECT_EQ(taken.Found() ? DateText(taken.fields) : "none", c.date);
        EXPECT_EQ(taken.source, c.source);
        EXPECT_EQ(taken.bTime, c.time);
        EXPECT_EQ(taken.nOffset, c.offset);
        EXPECT_EQ(taken.nMillis, c.millis);
    }
    // The CRW's make and model and the AVI's picture size come along.
    CJpegFile crw;
    ASSERT_TRUE(crw.LoadImage((folder + "/Canon_EOS_DIGITAL_REBEL.crw").c_str()));
    EXPECT_STREQ(crw.m_info.m_szCameraMake, "Canon");
    EXPECT_STREQ(crw.m_info.m_szCameraModel, "Canon EOS DIGITAL REBEL");
    EXPECT_EQ(crw.m_info.m_nWidth, 3072);
    EXPECT_EQ(crw.m_info.m_nHeight, 2048);
    CJpegFile avi;
    ASSERT_TRUE(avi.LoadImage((folder + "/Canon_MVI01_IDIT.avi").c_str()));
    EXPECT_EQ(avi.m_info.m_nWidth, 320);
    EXPECT_EQ(avi.m_info.m_nHeight, 240);
}

} // namespace
