// The date taken that the readers of AVI, AVCHD, CRW, MRW and ftyp-less
// QuickTime files find, in builder-made files and the dates corpus.

#include "avi_reader.h"
#include "image_type.h"
#include "jpeg_builder.h"
#include "jpeg_file.h"
#include "media_builder.h"
#include "mts_reader.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>

// Designated initializers leave the other options at the builders' defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using namespace testdata;
using namespace velmora;
using namespace std::literals;

const std::string kIdit = "Mon Mar 10 15:04:43 2003\n";
const Bytes kTiff = CameraTiff(ByteOrder::Intel, "2021:03:04 05:06:07").Build();
const std::string kIditDate = "avi-idit 2003-03-10 15:04:43";
const std::string kIcrdDate = "avi-icrd 2020-08-28";
const std::string kMdpmDate = "avchd-mdpm 2008-12-31 23:16:24 +01:00";
const std::string kCrwDate = "crw-timestamp 2003-11-10 17:39:26";
const std::string kCrwInfo = " | Canon EOS DIGITAL REBEL 3072x2048";
const std::string kExifDate = "exif-original 2021-03-04 05:06:07";
const std::uint64_t kSequenceTime = 2082844800ull + 1563956757;
const std::string kSequenceDate = "movie-header 2019-07-24 08:25:57 +00:00";
const std::string kDay = "2018:02:07 10:15:08-05:00";
const std::string kDayDate = "mp4-day 2018-02-07 10:15:08 -05:00";
Bytes Preview() {
    const CTiffBuilder camera = CameraTiff(ByteOrder::Intel, "2021:03:04 05:06:07");
    return CJpegBuilder::Photo(&camera, 640, 480);
}

using testsupport::Describe;

// `value` written at `at`, counted from the end when negative.
Bytes Patch(Bytes bytes, std::ptrdiff_t at, const Bytes& value) {
    std::copy(value.begin(), value.end(), bytes.begin() + (at < 0 ? std::ssize(bytes) : 0) + at);
    return bytes;
}

// The first `size` bytes, or all but the last -`size`.
Bytes Cut(Bytes bytes, std::ptrdiff_t size) {
    bytes.resize(std::min<std::size_t>(size < 0 ? bytes.size() + size : size, bytes.size()));
    return bytes;
}

std::ptrdiff_t Find(const Bytes& bytes, std::string_view text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) - bytes.begin();
}

// A time (2015-06-07 08:09:10.123 unless given) in 100-ns units since 1601,
// as DTIM holds it: two u32 little-endian, the high half first or last.
Bytes FileTime(bool highFirst,
               std::uint64_t units = (1433664550ull + 11644473600) * 10000000 + 1230000) {
    const Bytes high = U32LE(std::uint32_t(units >> 32)), low = U32LE(std::uint32_t(units));
    return highFirst ? Concat({high, low}) : Concat({low, high});
}

class ContainerDates : public ::testing::Test {
protected:
    // Reads `file`, or the file at `path`, by its content as the program does.
    const CJpegFile& Load(const Bytes& file, bool hints = false, std::string path = {}) {
        if (path.empty()) {
            EXPECT_TRUE(WriteFile(path = m_dir.File("x.dat"), file));
        }
        m_reader.m_bReadHints = hints;
        m_loaded = m_reader.LoadImage(path.c_str());
        return m_reader;
    }
    // Describe() of the date taken, then " | [model ]<width>x<height>" when
    // `expected` has it; "unread" first when the file was of no known type.
    void ExpectTaken(const std::string& expected) {
        const CJpegInfo& info = m_reader.m_info;
        const std::string model = info.m_szCameraModel;
        std::string got = (m_loaded ? "" : "unread ") + Describe(m_reader.m_taken);
        if (expected.find(" | ") != std::string::npos)
            got += " | " + (model.empty() ? "" : model + " ") + std::to_string(info.m_nWidth) +
                   "x" + std::to_string(info.m_nHeight);
        EXPECT_EQ(got, expected);
    }

    testsupport::CTempDir m_dir;
    testsupport::CScopedTimeZone m_tz{"UTC0"};
    CJpegFile m_reader;
    bool m_loaded = false;
};

TEST_F(ContainerDates, BuilderFiles) {
    const Bytes avi = AviFile({.icrd = "2020-08-28"}), crw = CrwFile({}), mts = MtsFile({});
    const Bytes movie = MovieFile({.creationTime = 2082844800ull + 1563956757});
    const std::pair<Bytes, std::string> cases[] = {
        {AviFile({.idit = kIdit}), kIditDate + " | 640x480"},
        {avi, kIcrdDate}, // INFO behind movi and idx1
        {AviFile({.icrd = "2020-08-28 10:11", .infoAtEnd = false}), "avi-icrd 2020-08-28 10:11:00"},
        {AviFile({.dtim = FileTime(true)}), "avi-icrd 2015-06-07 08:09:10.123"},
        {AviFile({.dtim = FileTime(false)}), "avi-icrd 2015-06-07 08:09:10.123"},
        // Read with the high half first, this one is 2021-09-28 00:30:15.
        {AviFile({.dtim = FileTime(false, (1619913992ull + 11644473600) * 10000000)}),
         "avi-icrd 2021-05-02 00:06:32"},
        {AviFile({.dtim = ToBytes("2011:02:03 04:05:06\0"s)}), "avi-icrd 2011-02-03 04:05:06"},
        {AviFile({.idit = kIdit, .strdTiff = kTiff}), kExifDate + " | QX-100 640x480"},
        // A recording cut short: a RIFF size of 0 or past the end, or a chunk overrunning it.
        {AviFile({.icrd = "2020-08-28", .riffSize = 0}), kIcrdDate},
        {AviFile({.icrd = "2020-08-28", .riffSize = 1u << 30}), kIcrdDate},
        {Patch(avi, Find(avi, "movi") - 4, U32LE(1u << 30)), "- | 640x480"}, // overruns the file
        {AviFile({.idit = kIdit, .width = 70000}), kIditDate + " | 0x0"},
        // The builder's SEI holds zero runs the encoder broke up with 03.
        {mts, kMdpmDate},
        {MtsFile({.packetSize = 188}), kMdpmDate},
        {MtsFile({.videoPid = 0x0E0}), kMdpmDate},
        {MtsFile({.dateInSecondUnit = true}), kMdpmDate},
        // West, 9 1/2 hours, daylight saving: -9:30 + 1:00.
        {MtsFile({.zone = 0x60 | 9 << 1 | 1}), "avchd-mdpm 2008-12-31 23:16:24 -08:30"},
        {MtsFile({.dateBcd = {0x20, 0x08, 0x1A, 0x31, 0x23, 0x16, 0x24}}), "-"},
        {MtsFile({.leadingPackets = CMtsReader::kReadWindow / 192 + 2}), "-"},
        {crw, kCrwDate + kCrwInfo},
        {CrwFile({.extraNesting = 3}), kCrwDate},
        {CrwFile({.extraNesting = 12}), "-"},        // past the depth limit
        {CrwFile({.timeStamp = 0}), "-" + kCrwInfo}, // a clock never set
        {Patch(crw, -4, U32LE(0xFFFFFFF0)), "-"},    // the root directory past the heap
        {Cut(crw, -3), "-"},                         // the link to the root directory cut
        {Patch(crw, 2, U32LE(0x10000000)), "-"},     // the header's length past the end
        {MrwFile(kTiff), kExifDate + " | QX-100 2048x1536"},
        {Patch(MrwFile(kTiff), 4, U32BE(40)), "-"}, // TTW overruns the block area
        // Without its ftyp box: wide and mdat come first.
        {Bytes(movie.begin() + movie[3], movie.end()),
         "movie-header 2019-07-24 08:25:57 +00:00 | 1920x1080"},
        {HeifFile({.tiff = kTiff, .brand = "heix"}), kExifDate},
        // An image sequence without an EXIF date is dated as a movie; a still
        // image's stray moov is not read.
        {HeifFile({.brand = "avis", .sequenceTime = kSequenceTime}), kSequenceDate},
        {HeifFile({.brand = "msf1", .sequenceTime = kSequenceTime, .noMeta = true}), kSequenceDate},
        {HeifFile({.tiff = kTiff, .brand = "avis", .sequenceTime = kSequenceTime}), kExifDate},
        {HeifFile({.brand = "heic", .sequenceTime = kSequenceTime}), "-"},
        // ©day after the Apple key and before the movie header; a day alone
        // gives way to the header's time.
        {MovieFile({.creationTime = kSequenceTime, .day = kDay}), kDayDate},
        {MovieFile({.creationTime = kSequenceTime, .day = kDay, .dayInIlst = true}), kDayDate},
        {MovieFile(
             {.creationTime = kSequenceTime, .appleDate = "2019-07-24T11:25:40+0300", .day = kDay}),
         "quicktime-creationdate 2019-07-24 11:25:40 +03:00"},
        {MovieFile({.creationTime = kSequenceTime, .day = "2018-02-07"}), kSequenceDate},
        // X3F: the property list's TIME on the camera clock, the preview's
        // EXIF before it; a directory that can't be read makes it damaged.
        {X3fFile({}), "x3f-time 2018-04-29 11:06:40 | SIGMA DP2 Merrill 4704x3136"},
        {X3fFile({.jpeg = Preview()}), kExifDate + " | QX-100 4704x3136"},
        {X3fFile({.properties = {{"TIME", "15250x0000"}}}), "-"},
        {Patch(X3fFile({}), -4, U32LE(0xFFFFFF00)), "unread -"}, // damaged, not undated
        {Cut(X3fFile({}), 60), "unread -"},
        // Heads too short for a layout's marks, or whose first atom overruns the file.
        {Cut(mts, 197), "-"}, // two 192-byte packets: sync bytes at 4 and 196
        {Cut(mts, 196), "unread -"},
        {Patch(Cut(mts, 400), 388, {0x48}), "unread -"}, // the third packet's sync byte
        {Concat({U32BE(9), ToBytes("moov")}), "unread -"},
        {Concat({U32BE(7), ToBytes("moov")}), "unread -"},
        {Concat({U32BE(0), ToBytes("mdat")}), "-"},            // to the end of the file
        {Concat({U32BE(1), ToBytes("mdat"), U64BE(16)}), "-"}, // a 64-bit size
        {Concat({U32BE(1), ToBytes("mdat"), U64BE(15)}), "unread -"},
        {Concat({U32BE(1), ToBytes("mdat"), U32BE(0)}), "unread -"},
        {Concat({U32BE(8), ToBytes("abcd")}), "unread -"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("case " + std::to_string(i) + ": " + cases[i].second);
        Load(cases[i].first); // named x.dat: the content decides the reader
        ExpectTaken(cases[i].second);
    }
}

// Cut anywhere, a file gives its whole date or none, never another. Large, it
// gives its date with its metadata read alone: the walk seeks over the media,
// and an AVCHD stream is read up to its window, in buffer-sized steps.
TEST_F(ContainerDates, CutAndLargeFiles) {
    constexpr std::uint64_t kMeta = 64 << 10, kWindow = CMtsReader::kReadWindow + (32 << 10);
    for (const std::size_t media : {std::size_t(64), std::size_t(8) << 20}) {
        const std::tuple<Bytes, std::string, std::uint64_t> files[] = {
            {AviFile({.idit = kIdit, .icrd = "2020-08-28", .mediaSize = media}), kIditDate, kMeta},
            {MtsFile({.sliceSize = media / 4}), kMdpmDate, kWindow},
            {CrwFile({.imageSize = media}), kCrwDate, kMeta},
            {MrwFile(kTiff, media), kExifDate, kMeta}};
        for (const auto& [file, date, mostRead] : files) {
            Load(file);
            ExpectTaken(date);
            EXPECT_LE(m_reader.m_nBytesRead, mostRead) << date;
            for (std::size_t n = 0; media == 64 && n < file.size(); n += 3 + file.size() / 150) {
                const std::string got = Describe(Load(Cut(file, n)).m_taken);
                EXPECT_TRUE(got == "-" || got == date) << date << " cut at " << n << ": " << got;
            }
        }
    }
}

// The XMP of the top-level _PMX chunk is read only when hints are asked for.
TEST_F(ContainerDates, AviXmpOnlyWithHints) {
    const Bytes file = AviFile({.idit = kIdit,
                                .xmp = "<d xmlns:xmp='http://ns.adobe.com/xap/1.0/' "
                                       "xmp:CreateDate='2010-01-02T03:04:05'/>"});
    EXPECT_EQ(Describe(Load(file).m_xmpDate), "-");
    EXPECT_EQ(Describe(Load(file, true).m_xmpDate), "xmp-createdate 2010-01-02 03:04:05");
    ExpectTaken(kIditDate);
}

TEST(ContainerDateTexts, ReadsTheAviForms) {
    const std::pair<std::string, std::string> cases[] = {
        {"  Mon Mar 10 15:04:43 2003\r\n", kIditDate},
        {"MON SEP  3 20:52:00 2012", "avi-idit 2012-09-03 20:52:00"},
        {"2009/10/27 12:14:34", "avi-idit 2009-10-27 12:14:34"},
        {"2005/11/28/ 09:19", "avi-idit 2005-11-28 09:19:00"},
        {"2001/ 1/27  1:42PM", "avi-idit 2001-01-27 13:42:00"},
        {"2001/ 1/27 12:05AM", "avi-idit 2001-01-27 00:05:00"},
        {"2001/ 1/27 12:05 pm", "avi-idit 2001-01-27 12:05:00"},
        {"2020-08-28\0\0"s, "avi-idit 2020-08-28"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(Describe(ParseAviDateText(text, DateSource::AviDateTime)), expected) << text;
    for (const std::string_view text :
         {"Mon Foo 10 15:04:43 2003"sv, "Monday Mar 10 15:04:43 2003"sv,
          "Mon Feb 30 10:00:00 2003"sv, "Mon Mar 10 15:04:43 2003 x"sv, "2001/ 1/27 13:42PM"sv,
          "2001/ 1/27 0:42AM"sv, "2001/1/27"sv, ""sv, "\0Mon Mar 10 15:04:43 2003"sv})
        EXPECT_FALSE(ParseAviDateText(text, DateSource::AviDateTime).Found()) << text;
}

TEST(ContainerFormats, KnowsTheExtensions) {
    using enum ImageKind;
    const std::pair<const char*, ImageKind> names[] = {
        {"a.AVI", Video}, {"a.mts", Video}, {"a.m2ts", Video}, {"a.3G2", Video}, {"a.CRW", Raw},
        {"a.mrw", Raw},   {"a.HIF", Heif},  {"a.MPO", Jpeg},   {"a.x3f", Raw}};
    for (const auto& [name, kind] : names)
        EXPECT_TRUE(ImageTypeOf(name) && ImageTypeOf(name)->kind == kind) << name;
}

// The real samples: the date an independent reader gives (expected.tsv), its
// source and offset, and where given the model and picture size.
TEST_F(ContainerDates, CorpusSamples) {
    const std::string folder = testsupport::CorpusDir() + "/dates/";
    if (!std::filesystem::exists(folder + "expected.tsv"))
        GTEST_SKIP() << "dates corpus not found at " << folder;
    const std::pair<const char*, std::string> samples[] = {
        {"Canon_MVI01_IDIT.avi", kIditDate + " | 320x240"},
        {"ICRD_after_movi.avi", kIcrdDate},
        {"Canon_AVCHD.mts", kMdpmDate},
        {"Canon_EOS_DIGITAL_REBEL.crw", kCrwDate + kCrwInfo},
        {"classic_moov_first.mov", "movie-header 2025-02-24 10:11:57 +00:00"},
        {"Canon_EOS_R5.HIF", "exif-original 2021-02-18 19:54:47.200 +00:00"},
    };
    for (const auto& [name, expected] : samples) {
        SCOPED_TRACE(name);
        Load({}, false, folder + name);
        ExpectTaken(expected);
    }
}

} // namespace
