// The date a file is listed by: date texts, the EXIF date rules with their
// offsets and fractions, a JPEG damaged after its EXIF block, and the scan's
// choices (movies placed in their neighbours' zone, bursts by sub-seconds,
// wall-clock names).

#include "companions.h"
#include "date_choice.h"
#include "folder_scan.h"
#include "jpeg_builder.h"
#include "jpeg_file.h"
#include "media_builder.h"
#include "string_table.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>

using namespace velmora;
using testdata::Bytes;
using testdata::CJpegBuilder;
using testdata::CTiffBuilder;

namespace {

using testsupport::DateText;

// --- date texts --------------------------------------------------------------

struct TextCase {
    const char* name;
    const char* text;
    const char* fields; // "YYYY-MM-DD HH:MM:SS", nullptr: not a date
    bool time;
    int offset; // minutes; kNoOffset when none
    int millis;
};

const TextCase kTextCases[] = {
    {"exif_form", "2004:05:04 11:03:34", "2004-05-04 11:03:34", true, kNoOffset, 0},
    {"iso_utc", "2004-07-13T21:23:44Z", "2004-07-13 21:23:44", true, 0, 0},
    {"iso_offset", "2015-06-29T18:19:12+01:00", "2015-06-29 18:19:12", true, 60, 0},
    {"offset_without_colon", "2019-07-24T11:25:40+0300", "2019-07-24 11:25:40", true, 180, 0},
    {"negative_offset_no_seconds", "2007-11-19T00:00-08:00", "2007-11-19 00:00:00", true, -480, 0},
    {"nine_fraction_digits", "2018-07-25T16:34:22.173129472", "2018-07-25 16:34:22", true,
     kNoOffset, 173},
    {"fraction_and_offset", "1993-01-01T03:11:11.311+01:00", "1993-01-01 03:11:11", true, 60, 311},
    {"date_only", "2006-10-29", "2006-10-29 00:00:00", false, kNoOffset, 0},
    {"blank", "    :  :     :  :  ", nullptr, false, 0, 0},
    {"mixed_separators", "2004:05-04 11:03:34", nullptr, false, 0, 0},
    {"offset_out_of_range", "2004-05-04T11:03:34+15:00", nullptr, false, 0, 0},
    {"text_after_the_date", "2004-05-04 11:03:34 pm", nullptr, false, 0, 0},
};

class DateTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(DateTextTest, GivesFieldsTimeOffsetAndFraction) {
    const TextCase& c = GetParam();
    const CFoundDate date = ParseDateText(c.text, DateSource::ExifDateTime);
    ASSERT_EQ(date.Found(), c.fields != nullptr);
    if (c.fields == nullptr)
        return;
    EXPECT_EQ(DateText(date.fields), c.fields);
    EXPECT_EQ(date.bTime, c.time);
    EXPECT_EQ(date.nOffset, c.offset);
    EXPECT_EQ(date.nMillis, c.millis);
}

INSTANTIATE_TEST_SUITE_P(Table, DateTextTest, testing::ValuesIn(kTextCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- EXIF: the date chosen, its offset and its fraction ------------------------

constexpr std::uint16_t kDateTime = 0x0132, kExifOffset = 0x8769, kOriginal = 0x9003,
                        kDigitized = 0x9004, kOffsetTime = 0x9010, kOffsetOriginal = 0x9011,
                        kSubSecTime = 0x9290, kSubSecOriginal = 0x9291;

struct ExifDateCase {
    const char* name;
    void (*build)(CTiffBuilder& t, int exif);
    const char* fields;
    DateSource source;
    int offset;
    int millis;
};

const ExifDateCase kExifDateCases[] = {
    {"original_takes_its_own_offset_and_fraction",
     [](CTiffBuilder& t, int exif) {
         t.Ascii(0, kDateTime, "2020:05:01 10:10:56");
         t.Ascii(exif, kOriginal, "2015:11:20 05:20:30")
             .Ascii(exif, kOffsetTime, "+00:00")
             .Ascii(exif, kOffsetOriginal, "+02:00")
             .Ascii(exif, kSubSecTime, "999")
             .Ascii(exif, kSubSecOriginal, "20");
     },
     "2015-11-20 05:20:30", DateSource::ExifOriginal, 120, 200},
    {"date_time_kept_beside_a_blank_original",
     [](CTiffBuilder& t, int exif) {
         t.Ascii(0, kDateTime, "2004:05:04 11:03:34");
         t.Ascii(exif, kOriginal, "    :  :     :  :  ")
             .Ascii(exif, kDigitized, "2004:05:04 11:03:35")
             .Ascii(exif, kOffsetTime, "-05:00");
     },
     "2004-05-04 11:03:34", DateSource::ExifDateTime, -300, 0},
    // An editor's DateTimeOriginal before 1900 wipes no date, like a blank one.
    {"date_time_kept_beside_an_original_of_1601",
     [](CTiffBuilder& t, int exif) {
         t.Ascii(0, kDateTime, "2021:05:24 08:09:10");
         t.Ascii(exif, kOriginal, "1601:06:06 00:00:00").Ascii(exif, kOffsetTime, "+02:00");
     },
     "2021-05-24 08:09:10", DateSource::ExifDateTime, 120, 0},
    {"digitized_fills_in_after_an_original_of_1601",
     [](CTiffBuilder& t, int exif) {
         t.Ascii(exif, kOriginal, "1601:06:06 00:00:00")
             .Ascii(exif, kDigitized, "2021:05:24 08:09:11");
     },
     "2021-05-24 08:09:11", DateSource::ExifDigitized, kNoOffset, 0},
    {"offset_inside_the_text_wins",
     [](CTiffBuilder& t, int exif) {
         t.Ascii(0, kDateTime, "2015-06-29T18:19:12+01:00");
         t.Ascii(exif, kOffsetTime, "+03:00");
     },
     "2015-06-29 18:19:12", DateSource::ExifDateTime, 60, 0},
};

class ExifDateTest : public testing::TestWithParam<ExifDateCase> {
protected:
    testsupport::CTempDir m_dir;
};

TEST_P(ExifDateTest, ChoosesTheDateWithItsOwnOffsetAndFraction) {
    const ExifDateCase& c = GetParam();
    CTiffBuilder tiff(testdata::ByteOrder::Motorola);
    const int exif = tiff.AddDirectory();
    c.build(tiff, exif);
    tiff.SubDirectory(0, kExifOffset, exif); // after DateTime, as cameras order their tags
    const std::string path = m_dir.File("a.jpg");
    ASSERT_TRUE(testdata::WriteFile(path, CJpegBuilder::Photo(&tiff)));
    CJpegFile reader;
    ASSERT_TRUE(reader.LoadJpeg(path.c_str()));
    const CFoundDate date = ChooseDate(reader, m_dir.Path(), "a.jpg", UndatedDates::None);
    ASSERT_TRUE(date.Found());
    EXPECT_EQ(DateText(date.fields), c.fields);
    EXPECT_EQ(date.source, c.source);
    EXPECT_EQ(date.nOffset, c.offset);
    EXPECT_EQ(date.nMillis, c.millis);
}

INSTANTIATE_TEST_SUITE_P(Table, ExifDateTest, testing::ValuesIn(kExifDateCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- damage after a whole EXIF block -------------------------------------------

struct DamageCase {
    const char* name;
    Bytes after; // what follows the EXIF section
    int errorId;
};

class DamageAfterExifTest : public testing::TestWithParam<DamageCase> {
protected:
    testsupport::CTempDir m_dir;
};

TEST_P(DamageAfterExifTest, KeepsTheDateAndTheFailure) {
    const auto tiff = testdata::CameraTiff(testdata::ByteOrder::Intel, "2023:07:09 20:36:33");
    CJpegBuilder jpeg;
    jpeg.Soi().Exif(tiff).Raw(GetParam().after);
    const std::string path = m_dir.File("a.jpg");
    ASSERT_TRUE(testdata::WriteFile(path, jpeg.Data()));
    CJpegFile reader;
    EXPECT_FALSE(reader.LoadJpeg(path.c_str()));
    EXPECT_EQ(reader.m_nErrorId, GetParam().errorId);
    EXPECT_EQ(DateText(reader.m_taken.fields), "2023-07-09 20:36:33");
    EXPECT_NE(reader.m_info.m_dtTaken, 0.0);

    CListRows rows;
    bool listed = false;
    EXPECT_EQ(ScanFolder(m_dir.Path(), "%Y", rows, listed), 1u);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Text(1), "2023.jpg");
}

INSTANTIATE_TEST_SUITE_P(
    Table, DamageAfterExifTest,
    testing::Values(
        DamageCase{"cut_inside_the_next_header", {0xFF, 0xE2, 0x02}, IDS_INVALID_MARKER},
        DamageCase{"next_section_cut_short", {0xFF, 0xDB, 0x00, 0x43, 1, 2, 3}, IDS_PREMATURE_END},
        DamageCase{"end_of_file", {}, IDS_INVALID_MARKER}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the scan's choices ----------------------------------------------------------

class DateScanTest : public testing::Test {
protected:
    DateScanTest() { std::setlocale(LC_ALL, "C"); }
    ~DateScanTest() override { std::setlocale(LC_ALL, m_oldLocale.c_str()); }

    void Photo(const char* name, const char* date, const char* offset = nullptr,
               const char* subSec = nullptr, const char* make = nullptr) {
        CTiffBuilder tiff(testdata::ByteOrder::Intel);
        if (make != nullptr)
            tiff.Ascii(0, 0x010F, make);
        const int exif = tiff.AddDirectory();
        tiff.SubDirectory(0, kExifOffset, exif).Ascii(exif, kOriginal, date);
        if (offset != nullptr)
            tiff.Ascii(exif, kOffsetOriginal, offset);
        if (subSec != nullptr)
            tiff.Ascii(exif, kSubSecOriginal, subSec);
        Write(name, CJpegBuilder::Photo(&tiff));
    }
    void Movie(const char* name, std::int64_t utcSeconds) {
        testdata::MovieOptions movie;
        movie.creationTime = static_cast<std::uint64_t>(utcSeconds + 2082844800);
        movie.mvhdVersion = 1; // 64 bits: any year
        Write(name, testdata::MovieFile(movie));
    }
    void Write(const char* name, const Bytes& bytes) {
        ASSERT_TRUE(testdata::WriteFile(m_dir.File(name), bytes));
    }
    // Each row as "name date source", and with companions each companion's
    // "+name new-name".
    std::vector<std::string> Scan(UndatedDates undated = UndatedDates::None,
                                  bool companions = false) {
        CScanOptions options;
        options.bAllTypes = true;
        options.clocks = m_clocks;
        options.undated = undated;
        options.bCompanions = companions;
        CListRows rows;
        bool listed = false;
        ScanFolder(m_dir.Path(), "%Y%m%d_%H%M%S_%C", rows, listed, nullptr, options);
        std::vector<std::string> texts;
        for (const CListRow& row : rows) {
            texts.push_back(std::string(row.Text(0)) + ' ' + std::string(row.Text(1)) + ' ' +
                            std::string(DateSourceId(static_cast<DateSource>(row.nDateSource))));
            for (std::string_view rest = row.nImage == RowToRename ? row.Companions() : "";
                 !rest.empty();) {
                const std::string_view name = rest.substr(0, rest.find('\0'));
                texts.push_back("+" + std::string(name) + ' ' + CompanionTarget(row.Text(1), name));
                rest.remove_prefix(std::min(rest.size(), name.size() + 1));
            }
        }
        return texts;
    }

    CClockOffsets m_clocks;
    testsupport::CScopedTimeZone m_zone{"Europe/Berlin"};
    const std::string m_oldLocale = std::setlocale(LC_ALL, nullptr);
    testsupport::CTempDir m_dir;
};

// A folder as a Takeout export leaves it: photos without a date of their
// own, each beside its JSON in one of the export's name forms. Each takes
// its photoTakenTime in local time (near a photo that records its zone, in
// that zone), an edited copy its original's; a JSON of another photo, a
// malformed one and one over 1 MB date nothing, and without the undated
// choice none is read.
TEST_F(DateScanTest, TakeoutSidecarsDateTheirPhotosAndFollowThem) {
    const Bytes plain = CJpegBuilder::Photo(nullptr);
    const auto json = [](std::int64_t seconds) {
        return testdata::ToBytes(R"({"title":"x","photoTakenTime":{"timestamp":")" +
                                 std::to_string(seconds) + R"("}})");
    };
    const std::int64_t t = 1525000000; // 2018-04-29 11:06:40 UTC, 13:06:40 in Berlin
    const std::pair<std::string, std::int64_t> sidecars[] = {
        {"a.jpg.json", t},
        {"b.jpg.supplemental-metadata.json", t + 60},
        {"c.jpg(1).json", t + 120},
        {"d.json", t + 180},
        {"e.jpg.suppl.json", t + 240},
        {"g0.jpg.json", t + 360}};
    for (const char* name : {"a.jpg", "b.jpg", "c(1).jpg", "d.jpg", "e.jpg", "e-edited.jpg",
                             "g.jpg", "h.jpg", "i.jpg", "y.jpg"})
        Write(name, plain);
    for (const auto& [name, seconds] : sidecars)
        Write(name.c_str(), json(seconds));
    Write("h.jpg.json", testdata::ToBytes(R"({"photoTakenTime":{"timestamp":"15)"));
    Write("i.jpg.json", testdata::Concat({json(t), Bytes(1024 * 1024, ' ')}));
    // Tokyo, two days later: a sidecar's time near it takes its zone.
    Photo("tokyo.jpg", "2018:05:01 20:00:00", "+09:00");
    Write("y.jpg.json", json(t + 2 * 86400 + 3600)); // 2018-05-01 12:06:40 UTC
    const std::vector<std::string> expected = {
        "a.jpg 20180429_130640_000.jpg takeout-json",
        "+a.jpg.json 20180429_130640_000.jpg.json",
        "b.jpg 20180429_130740_001.jpg takeout-json",
        "+b.jpg.supplemental-metadata.json 20180429_130740_001.jpg.json",
        "c(1).jpg 20180429_130840_002.jpg takeout-json",
        "+c.jpg(1).json 20180429_130840_002.jpg.json",
        "d.jpg 20180429_130940_003.jpg takeout-json",
        "+d.json 20180429_130940_003.jpg.json",
        "e-edited.jpg 20180429_131040_004.jpg takeout-json",
        "e.jpg 20180429_131040_005.jpg takeout-json",
        "+e.jpg.suppl.json 20180429_131040_005.jpg.json",
        "tokyo.jpg 20180501_200000_006.jpg exif-original",
        "y.jpg 20180501_210640_007.jpg takeout-json-nearby-zone",
        "+y.jpg.json 20180501_210640_007.jpg.json",
        "g.jpg The JPEG file is missing information. none",
        "h.jpg The JPEG file is missing information. none",
        "i.jpg The JPEG file is missing information. none",
    };
    EXPECT_EQ(Scan(UndatedDates::Names, true), expected);
    const std::vector<std::string> none = Scan();
    EXPECT_EQ(std::ranges::count_if(none,
                                    [](const std::string& row) {
                                        return row.find("missing information") != std::string::npos;
                                    }),
              10);
}

TEST_F(DateScanTest, MovieTakesTheZoneOfThePhotoNearestItWithinTwelveHours) {
    Photo("a.jpg", "2024:05:01 12:00:00", "+09:00");               // 03:00 UTC
    Photo("b.jpg", "2024:05:01 11:00:00", "-04:00");               // 15:00 UTC
    Movie("m1.mov", testsupport::UtcSeconds(2024, 5, 1, 4, 0, 0)); // an hour after a.jpg
    Movie("m2.mov", testsupport::UtcSeconds(2024, 5, 3, 4, 0, 0)); // nobody near: Berlin
    EXPECT_EQ(Scan(), (std::vector<std::string>{
                          "b.jpg 20240501_110000_000.jpg exif-original",
                          "a.jpg 20240501_120000_001.jpg exif-original",
                          "m1.mov 20240501_130000_002.mov movie-header-nearby-zone",
                          "m2.mov 20240503_060000_003.mov movie-header-computer-zone",
                      }));
}

// A name can't show a year past 9999 or before 1900: such a row says what moved it there.
TEST_F(DateScanTest, DateMovedOutOfTheNamedYearsGetsNoName) {
    m_clocks["ahead"] = {{.nOffset = 3600}};
    m_clocks["behind"] = {{.nOffset = -3600}};
    Photo("a.jpg", "9999:12:31 23:30:00", nullptr, nullptr, "Ahead");
    Photo("b.jpg", "1900:01:01 00:30:00", nullptr, nullptr, "Behind");
    Photo("c.jpg", "9999:12:31 22:30:00", nullptr, nullptr, "Ahead");
    Movie("m.mov", testsupport::UtcSeconds(9999, 12, 31, 23, 30, 0)); // Berlin: past 9999
    EXPECT_EQ(Scan(), (std::vector<std::string>{
                          "c.jpg 99991231_233000_000.jpg exif-original",
                          "a.jpg The camera clock offset moves the date past 9999. none",
                          "b.jpg The camera clock offset moves the date before 1900. none",
                          "m.mov The time zone moves the date past 9999. none",
                      }));
}

TEST_F(DateScanTest, BurstIsOrderedBySubSeconds) {
    Photo("a.jpg", "2024:05:01 12:00:00", nullptr, "9");
    Photo("b.jpg", "2024:05:01 12:00:00", nullptr, "05");
    Photo("c.jpg", "2024:05:01 12:00:00", nullptr, "5");
    Photo("d.jpg", "2024:05:01 12:00:00");
    EXPECT_EQ(Scan(), (std::vector<std::string>{
                          "d.jpg 20240501_120000_000.jpg exif-original",
                          "b.jpg 20240501_120000_001.jpg exif-original",
                          "c.jpg 20240501_120000_002.jpg exif-original",
                          "a.jpg 20240501_120000_003.jpg exif-original",
                      }));
}

TEST_F(DateScanTest, WallClockTimeInAClockChangeGapIsNamedAsWritten) {
    Photo("a.jpg", "2019:03:31 02:30:00");
    Photo("b.jpg", "2019:10:27 02:30:00"); // the hour that comes twice
    EXPECT_EQ(Scan(), (std::vector<std::string>{
                          "a.jpg 20190331_023000_000.jpg exif-original",
                          "b.jpg 20191027_023000_001.jpg exif-original",
                      }));
}

} // namespace
