// The file name format language (BuildFileName), the statuses and count that
// UpdateConvertedNames gives the rows, and the case-insensitive name compare.

#include "folder_scan.h"
#include "format_program.h"
#include "jpeg_builder.h"
#include "jpeg_file.h"
#include "name_compare.h"
#include "name_generation.h"
#include "ole_date.h"
#include "rename_plan.h"
#include "rename_run.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <ctime>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace velmora;

namespace {

using testsupport::operator<<;

using testsupport::UtcSeconds;

// Dates are milliseconds of the date as written.
const std::int64_t kTaken = UtcSeconds(2005, 3, 7, 14, 5, 9) * 1000;

CListRow Row(const char* current, int status, std::int64_t data, const char* column1 = "") {
    CListRow row;
    row.SetText(0, current);
    row.SetText(1, column1);
    row.nImage = status;
    row.nData = data;
    return row;
}

// Date codes are expanded in the C locale and a fixed time zone, so that names
// do not depend on the machine.
class NameGenerationEnvironment {
public:
    NameGenerationEnvironment() { std::setlocale(LC_ALL, "C"); }
    ~NameGenerationEnvironment() { std::setlocale(LC_ALL, m_oldLocale.c_str()); }

private:
    testsupport::CScopedTimeZone m_zone{"UTC0"};
    const std::string m_oldLocale = std::setlocale(LC_ALL, nullptr);
};

// --- BuildFileName -----------------------------------------------------------

struct BuildCase {
    const char* name;
    const char* path;
    const char* format;
    int counter;
    const char* expected;
};

const BuildCase kBuildCases[] = {
    {"default_format", "DSC00017.JPG", kDefaultFormat, 4, "Img20050307_140509_004.JPG"},
    {"counter_zero_padded", "a.jpg", "%C", 0, "000.jpg"},
    {"counter_1000_has_four_digits", "a.jpg", "%C", 1000, "1000.jpg"},
    {"every_counter_code_replaced", "a.jpg", "%C-%C", 42, "042-042.jpg"},
    // The counter pass leaves the code alone; the date pass reads it as the century.
    {"negative_counter_leaves_code", "a.jpg", "x%C", -1, "x20.jpg"},
    {"path_without_dot_gets_no_extension", "DSC00017", "%Y", 0, "2005"},
    {"path_dot_jpg_is_all_extension", ".jpg", "%Y", 0, "2005.jpg"},
    {"empty_format_gives_extension_alone", "a.jpg", "", 3, ".jpg"},
    {"folder_part_kept_in_front", "dir/test.jpg", "%Y_%C", 1, "dir/2005_001.jpg"},
    // Plain text replacement: "%%C" turns into "%005", which the date pass
    // then reads as the year padded to five digits.
    {"counter_code_after_percent_replaced", "a.jpg", "%%CY", 5, "02005.jpg"},
    {"zone_code_gives_the_zone_name", "a.jpg", "%z", 0, "UTC.jpg"},
    {"plain_characters_copied", "a.jpg", "x", 9, "x.jpg"},
    // One file alone is the first of its day and of its name.
    {"day_counter_alone_is_first", "a.jpg", "%Y_%{day}", 7, "2005_000.jpg"},
    {"clash_code_alone_is_nothing", "a.jpg", "x%{n}y%C", 7, "xy007.jpg"},
};

class BuildFileNameTest : public NameGenerationEnvironment,
                          public ::testing::TestWithParam<BuildCase> {};

TEST_P(BuildFileNameTest, ExpandsCounterDateFolderAndExtension) {
    const BuildCase& c = GetParam();
    CJpegFile carrier;
    carrier.m_info.m_dtTaken = ole::FromFields({2005, 3, 7, 14, 5, 9}).value();
    std::string name = "former content";
    carrier.BuildFileName(c.path, name, c.format, c.counter);
    EXPECT_EQ(name, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Formats, BuildFileNameTest, ::testing::ValuesIn(kBuildCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- UpdateConvertedNames ----------------------------------------------------

// A row as one line: column 0, column 1, status and item data.
std::vector<std::string> Describe(const CListRows& rows) {
    std::vector<std::string> lines;
    for (const CListRow& row : rows)
        lines.push_back(std::string(row.Text(0)) + " | " + std::string(row.Text(1)) + " | " +
                        std::to_string(row.nImage) + " | " + std::to_string(row.nData));
    return lines;
}

struct StatusCase {
    const char* name;
    const char* current;
    const char* format;
    int statusBefore;
    const char* converted;
    int statusAfter;
    ExtensionCase extension = ExtensionCase::Keep;
    const char* companion = nullptr; // the row's one companion, and the name it gets
    const char* companionTarget = nullptr;
};

constexpr ExtensionCase kKeep = ExtensionCase::Keep;

const StatusCase kStatusCases[] = {
    {"other_name_to_rename", "DSC00017.JPG", kDefaultFormat, RowToRename,
     "Img20050307_140509_000.JPG", RowToRename, kKeep, nullptr, nullptr},
    {"same_name_named", "Img20050307_140509_000.JPG", kDefaultFormat, RowToRename,
     "Img20050307_140509_000.JPG", RowNamed, kKeep, nullptr, nullptr},
    {"case_only_difference_named", "img20050307_140509_000.jpg", kDefaultFormat, RowToRename,
     "Img20050307_140509_000.jpg", RowNamed, kKeep, nullptr, nullptr},
    {"non_ascii_case_only_difference_named", "ÉTÉ_2005.jpg", "été_%Y", RowToRename, "été_2005.jpg",
     RowNamed, kKeep, nullptr, nullptr},
    {"named_row_with_new_name_to_rename", "Img20050307_140509_000.JPG", "%Y", RowNamed, "2005.JPG",
     RowToRename, kKeep, nullptr, nullptr},
    // The extension's case is a change of its own; the stem's case still is none.
    {"extension_lowered_to_rename", "img2005.JPG", "Img%Y", RowNamed, "Img2005.jpg", RowToRename,
     ExtensionCase::Lower, nullptr, nullptr},
    {"extension_already_upper_named", "img2005.JPG", "Img%Y", RowToRename, "Img2005.JPG", RowNamed,
     ExtensionCase::Upper, nullptr, nullptr},
    {"strftime_path_extension_uppered", "a.jpg", "%a", RowToRename, "Mon.JPG", RowToRename,
     ExtensionCase::Upper, nullptr, nullptr},
    {"companion_inner_extension_lowered", "IMG_1.JPG", "NEW", RowToRename, "NEW.jpg", RowToRename,
     ExtensionCase::Lower, "IMG_1.CR2.xmp", "NEW.cr2.xmp"},
    {"companion_extension_case_alone_to_rename", "NEW.jpg", "NEW", RowNamed, "NEW.jpg", RowToRename,
     ExtensionCase::Lower, "NEW.CR2", "NEW.cr2"},
    {"companion_upper_named", "NEW.JPG", "NEW", RowToRename, "NEW.JPG", RowNamed,
     ExtensionCase::Upper, "new.CR2", "NEW.CR2"},
};

class ConvertedStatusTest : public NameGenerationEnvironment,
                            public ::testing::TestWithParam<StatusCase> {};

TEST_P(ConvertedStatusTest, StatusFollowsComparisonIgnoringCase) {
    const StatusCase& c = GetParam();
    CListRows rows{Row(c.current, c.statusBefore, kTaken, "12345")};
    if (c.companion != nullptr)
        rows[0].SetCompanions(std::string(c.companion) + '\0');
    EXPECT_EQ(UpdateConvertedNames(rows, c.format, nullptr, c.extension),
              c.statusAfter == RowToRename ? 1u : 0u);
    CListRows expected{Row(c.current, c.statusAfter, kTaken, c.converted)};
    if (c.companion != nullptr) {
        expected[0].SetCompanions(std::string(c.companion) + '\0');
        EXPECT_EQ(NewFileName(rows[0], 0, c.companion), c.companionTarget);
    }
    EXPECT_EQ(Describe(rows), Describe(expected));
}

INSTANTIATE_TEST_SUITE_P(Rows, ConvertedStatusTest, ::testing::ValuesIn(kStatusCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The codes that number rows within the list: the clash suffix and the
// counter per day. Rows are given as current name, status and date; the
// expected rows as converted name and status.
struct ListRow {
    const char* current;
    int status;
    std::int64_t data;
    const char* companion = ""; // a raw file of the same stem
};
struct ListExpect {
    const char* converted;
    int status;
};
struct ListCase {
    const char* name;
    const char* format;
    std::vector<ListRow> rows;
    std::vector<ListExpect> expected;
};

const std::int64_t kLater = kTaken + 1000;
const std::int64_t kLastSecond = UtcSeconds(2005, 3, 7, 23, 59, 59) * 1000;
const std::int64_t kMidnight = UtcSeconds(2005, 3, 8, 0, 0, 0) * 1000;
constexpr const char* kStamp = "IMG_%Y%m%d_%H%M%S%{n}";
constexpr int R = RowToRename;
constexpr int N = RowNamed;

const ListCase kListCases[] = {
    {"suffix_for_each_later_row_of_the_name",
     kStamp,
     {{"a.jpg", R, kTaken}, {"b.jpg", R, kLater}, {"c.JPG", N, kTaken}, {"d.jpg", R, kTaken}},
     {{"IMG_20050307_140509.jpg", R},
      {"IMG_20050307_140510.jpg", R},
      {"IMG_20050307_140509-1.JPG", R},
      {"IMG_20050307_140509-2.jpg", R}}},
    {"suffix_stands_where_the_code_is",
     "%Y%{n}_x",
     {{"a.jpg", R, kTaken}, {"b.jpg", R, kTaken}},
     {{"2005_x.jpg", R}, {"2005-1_x.jpg", R}}},
    {"row_already_bare_keeps_it_earlier_row_suffixed",
     "%Y%{n}",
     {{"a.jpg", R, kTaken}, {"2005.JPG", R, kTaken}},
     {{"2005-1.jpg", R}, {"2005.JPG", N}}},
    {"relist_after_rename_changes_nothing",
     "%Y%{n}",
     {{"2005.jpg", R, kTaken}, {"2005-1.jpg", R, kTaken}, {"2005-2.jpg", N, kTaken}},
     {{"2005.jpg", N}, {"2005-1.jpg", N}, {"2005-2.jpg", N}}},
    {"added_row_takes_the_lowest_free_suffix_gap_kept",
     "%Y%{n}",
     {{"2005.jpg", N, kTaken},
      {"new.jpg", R, kTaken},
      {"2005-3.jpg", N, kTaken},
      {"late.jpg", R, kTaken}},
     {{"2005.jpg", N}, {"2005-1.jpg", R}, {"2005-3.jpg", N}, {"2005-2.jpg", R}}},
    {"suffix_skips_a_name_another_row_bears",
     "%Y%{n}",
     {{"a.jpg", R, kTaken}, {"2005-1.jpg", RowUnreadable, 1}, {"b.jpg", R, kTaken}},
     {{"2005.jpg", R}, {"", RowUnreadable}, {"2005-2.jpg", R}}},
    {"names_in_other_case_one_keeps_the_bare_form",
     "%Y%{n}",
     {{"2005.jpg", N, kTaken}, {"2005.JPG", N, kTaken}},
     {{"2005.jpg", N}, {"2005-1.JPG", R}}},
    {"leading_zero_is_no_suffix_of_the_name",
     "%Y%{n}",
     {{"2005.jpg", N, kTaken}, {"2005-01.jpg", N, kTaken}},
     {{"2005.jpg", N}, {"2005-1.jpg", R}}},
    {"pair_shares_the_suffix_of_its_photo",
     "%Y%{n}",
     {{"a.jpg", R, kTaken},
      {"2005-1.jpg", R, kTaken, "2005-1.CR2"},
      {"2005-2.jpg", R, kTaken, "b.CR2"}},
     {{"2005.jpg", R}, {"2005-1.jpg", N}, {"2005-2.jpg", R}}},
    {"every_clash_code_gets_the_suffix",
     "%{n}%Y%{n}",
     {{"a.jpg", R, kTaken}, {"-12005-1.jpg", R, kTaken}, {"c.jpg", R, kTaken}},
     {{"2005.jpg", R}, {"-12005-1.jpg", N}, {"-22005-2.jpg", R}}},
    {"day_counter_restarts_at_midnight",
     "%Y%m%d_%{day}",
     {{"a.jpg", R, kTaken},
      {"b.jpg", R, kLastSecond},
      {"c.jpg", R, kMidnight},
      {"d.jpg", R, kMidnight}},
     {{"20050307_000.jpg", R},
      {"20050307_001.jpg", R},
      {"20050308_000.jpg", R},
      {"20050308_001.jpg", R}}},
    {"day_counter_over_a_burst_skips_rows_without_a_name",
     "%{day}_%H%M%S",
     {{"a.jpg", R, kTaken},
      {"bad.jpg", RowUnreadable, 1},
      {"b.jpg", R, kTaken},
      {"001_140509.jpg", N, kTaken},
      {"c.jpg", R, kTaken}},
     {{"000_140509.jpg", R},
      {"", RowUnreadable},
      {"001_140509.jpg", R},
      {"002_140509.jpg", R},
      {"003_140509.jpg", R}}},
};

class ListCountersTest : public NameGenerationEnvironment,
                         public ::testing::TestWithParam<ListCase> {};

TEST_P(ListCountersTest, NamesAndStatusesInListOrder) {
    const ListCase& c = GetParam();
    CListRows rows;
    std::vector<std::string> expected;
    unsigned expectedCount = 0;
    for (std::size_t i = 0; i < c.rows.size(); ++i) {
        rows.push_back(Row(c.rows[i].current, c.rows[i].status, c.rows[i].data));
        if (*c.rows[i].companion != '\0')
            rows.back().SetCompanions(std::string(c.rows[i].companion) + '\0');
        expected.push_back(std::string(c.expected[i].converted) + " | " +
                           std::to_string(c.expected[i].status));
        expectedCount += c.expected[i].status == RowToRename ? 1 : 0;
    }
    EXPECT_EQ(UpdateConvertedNames(rows, c.format), expectedCount);
    std::vector<std::string> actual;
    for (const CListRow& row : rows)
        actual.push_back(std::string(row.nImage == RowUnreadable ? "" : row.Text(1)) + " | " +
                         std::to_string(row.nImage));
    EXPECT_EQ(actual, expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, ListCountersTest, ::testing::ValuesIn(kListCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The suffix rule written plainly: rows already named a form keep it, then
// each other row in list order takes its lowest free suffix. Random folders
// of names that are forms of one another reach both the guessed choice and
// the search through the list, with one clash code and with two.
TEST(ListCountersTest, SuffixesAgreeWithThePlainRuleOnRandomFolders) {
    NameGenerationEnvironment environment;
    const char* const names[] = {"a.jpg",    "2005.jpg",     "2005-1.jpg",  "2005-2.JPG",
                                 "2006.jpg", "2005-10.jpg",  "2005-01.jpg", "2006-1.jpg",
                                 "b.JPG",    "-12005-1.jpg", "-22005-2.JPG"};
    const std::int64_t dates[] = {kTaken, UtcSeconds(2006, 1, 1, 0, 0, 0) * 1000};
    std::mt19937 random(7);
    for (int folder = 0; folder < 300; ++folder) {
        CListRows rows;
        const std::size_t count = 1 + random() % 8;
        for (std::size_t i = 0; i < count; ++i)
            rows.push_back(Row(names[random() % std::size(names)], RowToRename,
                               dates[random() % std::size(dates)]));
        const bool twoCodes = folder % 2 == 1;
        UpdateConvertedNames(rows, twoCodes ? "%{n}%Y%{n}" : "%Y%{n}");

        std::set<std::string> held, bare, given;
        std::vector<std::string> bareOf(rows.size()), expected(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const std::string current = FoldCase(rows[i].Text(0));
            held.insert(current);
            bareOf[i] = rows[i].nData == dates[0] ? "2005" : "2006";
            bare.insert(bareOf[i] + current.substr(current.rfind('.')));
        }
        const auto form = [&](std::size_t i, int suffix) {
            const std::string_view current = rows[i].Text(0);
            const std::string code = suffix == 0 ? "" : '-' + std::to_string(suffix);
            return (twoCodes ? code : "") + bareOf[i] + code +
                   FoldCase(current.substr(current.rfind('.')));
        };
        for (std::size_t i = 0; i < rows.size(); ++i)
            for (int suffix = 0; suffix <= 10 && expected[i].empty(); ++suffix)
                if (FoldCase(rows[i].Text(0)) == form(i, suffix) &&
                    given.insert(form(i, suffix)).second)
                    expected[i] = form(i, suffix);
        for (std::size_t i = 0; i < rows.size(); ++i)
            for (int suffix = 0; expected[i].empty(); ++suffix)
                if (!held.count(form(i, suffix)) && !given.count(form(i, suffix)) &&
                    (suffix == 0 || !bare.count(form(i, suffix))))
                    expected[i] = *given.insert(form(i, suffix)).first;
        for (std::size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(FoldCase(rows[i].Text(1)), expected[i])
                << "folder " << folder << " row " << i;
    }
}

// The value codes, for a row of device 1 (when it has a make or model) and
// lens 1 (when it has one) in a folder: folder nullptr names with no facts.
struct ValueCase {
    const char* name;
    const char* current;
    const char* format;
    const char* make;
    const char* model;
    const char* lens;
    const char* folder;
    const char* converted;
};

const std::string kLongLens(70, 'x');
const std::string kSplitLens = std::string(63, 'x') + "é"; // its last byte the 65th
const std::string kCut64 = std::string(64, 'x') + ".jpg";
const std::string kCut63 = std::string(63, 'x') + ".jpg";

const ValueCase kValueCases[] = {
    {"make_model", "a.jpg", "%{make}_%{model}", "Canon", "EOS R5", "", "f", "Canon_EOS R5.jpg"},
    {"device_make_and_model_no_serial", "a.jpg", "%{device}", "Canon", "EOS R5", "", "f",
     "Canon EOS R5.jpg"},
    {"device_model_that_starts_with_the_make", "a.jpg", "%{device}", "NIKON CORPORATION",
     "NIKON D750", "", "f", "NIKON D750.jpg"},
    {"lens", "a.jpg", "%{lens}", "", "", "RF24-70mm F2.8", "f", "RF24-70mm F2.8.jpg"},
    {"name_without_extension", "IMG.1.JPG", "%Y_%{name}", "", "", "", "f", "2005_IMG.1.JPG"},
    {"folder", "a.jpg", "%{folder}-%C", "", "", "", "Trip 2005", "Trip 2005-000.jpg"},
    {"missing_values_unknown", "a.jpg", "%{make}%{model}%{device}%{lens}", nullptr, nullptr,
     nullptr, "f", "UnknownUnknownUnknownUnknown.jpg"},
    {"model_alone", "a.jpg", "%{make}_%{device}", "", "X100", "", "f", "Unknown_X100.jpg"},
    {"no_facts", "a.jpg", "%{device}_%{folder}_%{name}", "Canon", "", "L", nullptr,
     "Unknown_Unnamed_a.jpg"},
    {"empty_name_and_folder_unnamed", " ..jpg", "%{name}_%{folder}", "", "", "", " ...",
     "Unnamed_Unnamed.jpg"},
    {"refused_characters_replaced", "a.jpg", "%{lens}", "", "", "EF/S\\1:2*3?4\"5<6>7|8\t9\x7f",
     "f", "EF_S_1_2_3_4_5_6_7_8_9_.jpg"},
    {"blanks_and_dots_trimmed", "a.jpg", "%{make}", " .Canon. ", "", "", "f", "Canon.jpg"},
    {"percent_and_counter_code_kept", "a.jpg", "%C_%{make}", "100%C%", "", "", "f",
     "000_100%C%.jpg"},
    {"cut_to_64_bytes", "a.jpg", "%{lens}", "", "", kLongLens.c_str(), "f", kCut64.c_str()},
    {"cut_before_a_split_character", "a.jpg", "%{lens}", "", "", kSplitLens.c_str(), "f",
     kCut63.c_str()},
    {"escaped_code_left", "a.jpg", "%{make}%%{make}", "Sony", "", "", "f", "Sony%{make}.jpg"},
};

class ValueCodeTest : public NameGenerationEnvironment,
                      public ::testing::TestWithParam<ValueCase> {};

// Each case twice: compiled, and behind "%b", which only the strftime path knows.
TEST_P(ValueCodeTest, GivesTheCleanedValueOrItsWordOnBothPaths) {
    const ValueCase& c = GetParam();
    const bool device = c.make != nullptr || c.model != nullptr;
    CDeviceTable devices(2);
    devices[1].id = {c.make != nullptr ? c.make : "", c.model != nullptr ? c.model : "", "0123"};
    const CTextTable lenses{"", c.lens != nullptr ? c.lens : ""};
    const CNameFacts facts{&devices, &lenses, c.folder != nullptr ? c.folder : ""};
    for (const std::string prefix : {"", "%b"}) {
        CListRows rows{Row(c.current, RowToRename, kTaken)};
        rows[0].nDeviceIndex = device ? 1 : 0;
        rows[0].nLensIndex = c.lens != nullptr ? 1 : 0;
        EXPECT_TRUE(CFormatProgram(c.format).Compiled());
        UpdateConvertedNames(rows, prefix + c.format, c.folder != nullptr ? &facts : nullptr);
        EXPECT_EQ(rows[0].Text(1), (prefix.empty() ? "" : "Mar") + std::string(c.converted));
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, ValueCodeTest, ::testing::ValuesIn(kValueCases),
                         [](const auto& info) { return std::string(info.param.name); });

class UpdateConvertedNamesTest : public NameGenerationEnvironment, public ::testing::Test {};

TEST_F(UpdateConvertedNamesTest, RowsWithoutDateKeepTextsAndTheirIndicesAreNotReused) {
    CListRows rows{
        Row("b.jpg", RowToRename, kTaken),
        Row("bad.jpg", RowUnreadable, 1, "Invalid JPEG file!"),
        Row("nodate.jpg", RowNoDate, 2, "The JPEG file is missing information."),
        Row("gone.jpg", -1, 3, "kept"),
        Row("a.jpg", RowToRename, kTaken),
    };
    EXPECT_EQ(UpdateConvertedNames(rows, "%Y_%C"), 2u);
    EXPECT_EQ(Describe(rows),
              Describe({
                  Row("b.jpg", RowToRename, kTaken, "2005_000.jpg"),
                  Row("bad.jpg", RowUnreadable, 1, "Invalid JPEG file!"),
                  Row("nodate.jpg", RowNoDate, 2, "The JPEG file is missing information."),
                  Row("gone.jpg", -1, 3, "kept"),
                  Row("a.jpg", RowToRename, kTaken, "2005_004.jpg"),
              }));
}

TEST_F(UpdateConvertedNamesTest, EqualDatesWithoutCounterGiveEqualNamesBothCounted) {
    CListRows rows{Row("a.jpg", RowToRename, kTaken), Row("b.jpg", RowNamed, kTaken),
                   Row("20050307.jpg", RowToRename, kTaken)};
    EXPECT_EQ(UpdateConvertedNames(rows, "%Y%m%d"), 2u);
    EXPECT_EQ(Describe(rows), Describe({Row("a.jpg", RowToRename, kTaken, "20050307.jpg"),
                                        Row("b.jpg", RowToRename, kTaken, "20050307.jpg"),
                                        Row("20050307.jpg", RowNamed, kTaken, "20050307.jpg")}));
}

TEST_F(UpdateConvertedNamesTest, EmptyListCountsNothing) {
    CListRows rows;
    EXPECT_EQ(UpdateConvertedNames(rows, kDefaultFormat), 0u);
    EXPECT_TRUE(rows.empty());
}

TEST_F(UpdateConvertedNamesTest, RenamedRowsStayNamedUntilTheFormatChanges) {
    testsupport::CTempDir dir;
    for (const auto& [name, date] :
         {std::pair{"a.jpg", "2005:03:07 14:05:09"}, std::pair{"b.jpg", "2005:03:08 09:00:00"}}) {
        const auto tiff = testdata::CameraTiff(testdata::ByteOrder::Intel, date);
        ASSERT_TRUE(testdata::WriteFile(dir.File(name), testdata::CJpegBuilder::Photo(&tiff)));
    }
    CListRows rows;
    bool listed = false;
    const unsigned count = ScanFolder(dir.Path(), kDefaultFormat, rows, listed);
    ASSERT_EQ(count, 2u);
    ASSERT_EQ(RunRename(dir.Path(), rows, count).kind, CRenameOutcome::AllRenamed);
    const std::int64_t second = UtcSeconds(2005, 3, 8, 9, 0, 0) * 1000;

    EXPECT_EQ(UpdateConvertedNames(rows, kDefaultFormat), 0u);
    EXPECT_EQ(
        Describe(rows),
        Describe(
            {Row("Img20050307_140509_000.jpg", RowNamed, kTaken, "Img20050307_140509_000.jpg"),
             Row("Img20050308_090000_001.jpg", RowNamed, second, "Img20050308_090000_001.jpg")}));

    EXPECT_EQ(UpdateConvertedNames(rows, "%Y%m%d"), 2u);
    EXPECT_EQ(Describe(rows),
              Describe({Row("Img20050307_140509_000.jpg", RowToRename, kTaken, "20050307.jpg"),
                        Row("Img20050308_090000_001.jpg", RowToRename, second, "20050308.jpg")}));
}

// Two photos of one second and one of another: the second of the pair takes
// the suffix, the rescan after the run finds nothing to rename (the names
// list "-1" first), and a photo added to the series is the only one to rename.
TEST_F(UpdateConvertedNamesTest, ClashSuffixesHoldOverRenameAndRescan) {
    testsupport::CTempDir dir;
    const auto write = [&dir](const char* name, const char* date) {
        const auto tiff = testdata::CameraTiff(testdata::ByteOrder::Intel, date);
        return testdata::WriteFile(dir.File(name), testdata::CJpegBuilder::Photo(&tiff));
    };
    ASSERT_TRUE(write("a.jpg", "2005:03:07 14:05:09"));
    ASSERT_TRUE(write("b.jpg", "2005:03:07 14:05:09"));
    ASSERT_TRUE(write("c.jpg", "2005:03:08 09:00:00"));
    const std::string format = "IMG_%Y%m%d_%H%M%S%{n}";
    CListRows rows;
    bool listed = false;
    const unsigned count = ScanFolder(dir.Path(), format, rows, listed);
    ASSERT_EQ(count, 3u);
    ASSERT_EQ(RunRename(dir.Path(), rows, count).kind, CRenameOutcome::AllRenamed);

    EXPECT_EQ(ScanFolder(dir.Path(), format, rows, listed), 0u);
    ASSERT_TRUE(write("d.jpg", "2005:03:07 14:05:09"));
    EXPECT_EQ(ScanFolder(dir.Path(), format, rows, listed), 1u);
    std::vector<std::string> names;
    for (const CListRow& row : rows)
        names.push_back(std::string(row.Text(0)) + " -> " + std::string(row.Text(1)));
    EXPECT_EQ(names,
              (std::vector<std::string>{"IMG_20050307_140509-1.jpg -> IMG_20050307_140509-1.jpg",
                                        "IMG_20050307_140509.jpg -> IMG_20050307_140509.jpg",
                                        "d.jpg -> IMG_20050307_140509-2.jpg",
                                        "IMG_20050308_090000.jpg -> IMG_20050308_090000.jpg"}));
}

// The scan's devices, lenses and folder name reach the names, at the scan and
// at each keystroke after it.
TEST_F(UpdateConvertedNamesTest, ScanHandsDevicesLensesAndFolderToTheNames) {
    testsupport::CTempDir dir;
    auto tiff = testdata::CameraTiff(testdata::ByteOrder::Intel, "2005:03:07 14:05:09");
    ASSERT_TRUE(testdata::WriteFile(dir.File("a.jpg"), testdata::CJpegBuilder::Photo(&tiff)));
    tiff.Ascii(1, 0xA434, "QX Zoom 24-70"); // LensModel, in the EXIF directory
    ASSERT_TRUE(testdata::WriteFile(dir.File("b.jpg"), testdata::CJpegBuilder::Photo(&tiff)));
    CListRows rows;
    bool listed = false;
    CDeviceTable devices;
    CTextTable lenses;
    ScanFolder(dir.Path(), "%{device}_%{lens}_%{folder}", rows, listed, nullptr, {}, nullptr,
               &devices, &lenses);
    const std::string folder = dir.Path().substr(dir.Path().rfind('/') + 1);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Text(1), "Quorvant Optics QX-100_Unknown_" + folder + ".jpg");
    EXPECT_EQ(rows[1].Text(1), "Quorvant Optics QX-100_QX Zoom 24-70_" + folder + ".jpg");

    const CNameFacts facts{&devices, &lenses, FolderNameOf(dir.Path() + "/.")};
    EXPECT_EQ(UpdateConvertedNames(rows, "%{model}_%{lens}_%{folder}", &facts), 2u);
    EXPECT_EQ(rows[1].Text(1), "QX-100_QX Zoom 24-70_" + folder + ".jpg");
}

// --- EqualNoCase / FoldCase --------------------------------------------------

struct CompareCase {
    const char* name;
    const char* a;
    const char* b;
    bool equal;
};

const CompareCase kCompareCases[] = {
    {"ascii_case", "IMG_0001.JPG", "img_0001.jpg", true},
    {"ascii_other_letter", "a.jpg", "b.jpg", false},
    {"ascii_longer", "a.jpg", "a.jpgx", false},
    {"utf8_latin_accents", "ÉTÉ.jpg", "été.jpg", true},
    {"utf8_greek", "ΑΒΓ.jpg", "αβγ.jpg", true},
    {"utf8_cyrillic", "ФОТО.jpg", "фото.jpg", true},
    {"accent_is_not_case", "été.jpg", "ete.jpg", false},
    {"invalid_bytes_with_ascii_case", "\xFF\xFE.JPG", "\xFF\xFE.jpg", true},
    {"invalid_bytes_differ", "\xFF.jpg", "\xFE.jpg", false},
    // Lone Latin-1 bytes are not UTF-8: compared as bytes, not folded as letters.
    {"latin1_bytes_not_folded", "\xC9t\xC9.jpg", "\xE9t\xE9.jpg", false},
    {"overlong_encoding_is_not_a_letter", "\xC1\x81.jpg", "a.jpg", false},
    {"truncated_sequence_differs_from_whole", "\xC3.jpg", "\xC3\xA9.jpg", false},
};

class NameCompareTest : public ::testing::TestWithParam<CompareCase> {};

TEST_P(NameCompareTest, EqualIgnoringCaseExactlyWhenFoldedFormsAgree) {
    const CompareCase& c = GetParam();
    EXPECT_EQ(EqualNoCase(c.a, c.b), c.equal);
    EXPECT_EQ(EqualNoCase(c.b, c.a), c.equal);
    EXPECT_EQ(FoldCase(c.a) == FoldCase(c.b), c.equal);
}

INSTANTIATE_TEST_SUITE_P(Names, NameCompareTest, ::testing::ValuesIn(kCompareCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FoldCaseTest, InvalidBytesKeptAndLettersLowered) {
    EXPECT_EQ(FoldCase("\xFF"
                       "ABC\xC9.JPG"),
              "\xFF"
              "abc\xC9.jpg");
    EXPECT_EQ(FoldCase("ÉTÉ.JPG"), "été.jpg");
}

} // namespace
