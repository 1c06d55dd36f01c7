// The compiled name format against the strftime path it stands in for: every
// code of the format language, over dates that stress the calendar, must give
// the rows the same names, statuses and count, byte for byte.

#include "date_choice.h"
#include "format_codes.h"
#include "format_program.h"
#include "jpeg_file.h"
#include "name_compare.h"
#include "name_generation.h"
#include "ole_date.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

using namespace velmora;
using namespace std::string_view_literals;

namespace {

// Every code of the format language, flag forms, the counter and its quirks
// ("%%C" becomes "%" and the digits, which the date pass reads as a width),
// plain text and a trailing "%", the value codes (their fixed words, and
// the row's own name): those the program compiles, and those left to the
// strftime path.
// clang-format off
const std::string_view kCompiled[] = {
    "%d", "%H", "%I", "%j", "%m", "%M", "%S", "%U", "%w", "%W", "%y", "%Y", "%%", "%C", "%C-%C",
    "%%%C", "%C%", "img%", "%", "%%%", "", "plain", "été_%Y", "sub/%Y_%C", "Img%Y%m%d_%H%M%S_%C",
    "%Y%m%d_%H%M%S_%", "%{make}%{model}%{device}%{lens}%{folder}", "%{name}_%C", "%%{name}%{name}",
    "%C%{name}%"};
// clang-format on
const std::string_view kStrftime[] = {"%a",  "%A",   "%b",      "%B",     "%c",     "%p",
                                      "%x",  "%X",   "%z",      "%Z",     "%#d",    "%#x",
                                      "%-d", "%_H",  "%5Y",     "%Ey",    "%Od",    "%Q",
                                      "%%C", "%%CY", "x\0%Y"sv, "%{foo}", "%{name", "%{na%Cme}"};

// Leap days, year ends, the OLE and Unix epochs, 2038, the ends of the valid
// years, noon and midnight, weeks that start on a Sunday or a Monday, and a
// value outside the years a date can have; the last field is milliseconds.
const int kDates[][7] = {
    {2024, 2, 29, 12, 0, 0},         {2000, 2, 29, 0, 0, 0},     {1900, 2, 28, 23, 59, 59},
    {1900, 3, 1, 11, 59, 59},        {1999, 12, 31, 23, 59, 59}, {2000, 1, 1, 0, 0, 0},
    {1899, 12, 29, 6, 0, 0},         {1899, 12, 30, 13, 1, 2},   {1970, 1, 1, 0, 0, 0},
    {1969, 12, 31, 23, 59, 59, 500}, {2038, 1, 19, 3, 14, 8},    {2021, 1, 3, 12, 30, 0},
    {2018, 12, 31, 0, 0, 1},         {9999, 12, 31, 23, 59, 59}, {100, 1, 1, 0, 0, 0},
    {999, 12, 31, 12, 0, 0},         {10000, 1, 1, 0, 0, 0}};

// What the strftime path names row `index`.
std::string StrftimeName(const CListRow& row, std::size_t index, const std::string& format) {
    CJpegFile carrier;
    const std::optional<ole::DateFields> fields = WallFields(row.nData);
    carrier.m_info.m_dtTaken = fields ? ole::FromFields(*fields).value_or(0.0) : 0.0;
    std::string name;
    carrier.BuildFileName(std::string(row.Text(0)), name, format, static_cast<int>(index));
    return name;
}

// The rows: the dates over and over, past the counter's fourth digit; every
// third row already bears its name in other case, every seventh is undated.
void ExpectNamedAsByStrftime(std::size_t count, const std::string& format) {
    CListRows rows(count);
    for (std::size_t i = 0; i < count; ++i) {
        const int* d = kDates[i % std::size(kDates)];
        rows[i].SetText(0, i % 2 == 0 ? "DSC_0001.JPG" : "dir.d/noext");
        rows[i].nImage = i % 7 == 6 ? RowNoDate : RowToRename;
        rows[i].nData = ole::SecondsOf({d[0], d[1], d[2], d[3], d[4], d[5]}) * 1000 + d[6];
        if (i % 3 == 0 && rows[i].nImage == RowToRename)
            rows[i].SetText(0, FoldCase(StrftimeName(rows[i], i, format)));
    }
    const CListRows before = rows;
    unsigned expectedCount = 0;
    const unsigned renameCount = UpdateConvertedNames(rows, format);
    for (std::size_t i = 0; i < count; ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        const bool undated = before[i].nImage == RowNoDate;
        const std::string expected = undated ? "" : StrftimeName(before[i], i, format);
        const bool named = !undated && EqualNoCase(expected, before[i].Text(0));
        expectedCount += undated || named ? 0 : 1;
        ASSERT_EQ(rows[i].Text(1), expected);
        ASSERT_EQ(rows[i].nImage, undated ? RowNoDate : named ? RowNamed : RowToRename);
    }
    EXPECT_EQ(renameCount, expectedCount);
}

class FormatProgramTest : public ::testing::Test {
protected:
    testsupport::CScopedTimeZone m_zone{"CET-1CEST,M3.5.0,M10.5.0/3"};
    const std::string m_oldLocale = std::setlocale(LC_ALL, nullptr);
    FormatProgramTest() { std::setlocale(LC_ALL, "C"); }
    ~FormatProgramTest() override { std::setlocale(LC_ALL, m_oldLocale.c_str()); }
};

// Lists of 40,000 rows are split over the cores; the names and the count must
// not show where.
TEST_F(FormatProgramTest, EveryCodeOverEveryDateNamesAsTheStrftimePath) {
    for (const bool compiled : {true, false}) {
        for (const std::string_view code :
             compiled ? std::span<const std::string_view>(kCompiled) : kStrftime) {
            const std::string format(code);
            SCOPED_TRACE(format);
            EXPECT_EQ(CFormatProgram(format).Compiled(), compiled);
            ExpectNamedAsByStrftime(1200, format);
        }
    }
    for (const char* format : {kDefaultFormat, "%a_%C"})
        ExpectNamedAsByStrftime(40000, format);
}

// The list's counters in braces, compiled and on the strftime path: "%Od" and
// "%OH" give what "%d" and "%H" give in the C locale, but are not compiled.
// The rows' dates come in runs of three and repeat, so that days have
// several rows and names clash.
TEST_F(FormatProgramTest, CounterCodesNameAsOnTheStrftimePath) {
    const std::pair<std::string, std::string> kTwins[] = {
        {"%Y%m%d_%{day}", "%Y%m%Od_%{day}"},
        {"IMG_%Y%m%d_%H%M%S%{n}", "IMG_%Y%m%Od_%H%M%S%{n}"},
        {"%{n}%H%{day}%{n}_%C", "%{n}%OH%{day}%{n}_%C"},
    };
    for (const auto& [compiled, strftime] : kTwins) {
        SCOPED_TRACE(compiled);
        ASSERT_TRUE(CFormatProgram(compiled).Compiled());
        ASSERT_FALSE(CFormatProgram(strftime).Compiled());
        CListRows rows(20000);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const int* d = kDates[i / 3 % 5]; // runs of three rows a date
            rows[i].SetText(0, i % 2 == 0 ? "DSC_0001.JPG" : "dir.d/noext");
            rows[i].nImage = i % 7 == 6 ? RowNoDate : RowToRename;
            rows[i].nData = ole::SecondsOf({d[0], d[1], d[2], d[3], d[4], d[5]}) * 1000;
        }
        CListRows twins = rows;
        EXPECT_EQ(UpdateConvertedNames(rows, compiled), UpdateConvertedNames(twins, strftime));
        for (std::size_t i = 0; i < rows.size(); ++i) {
            ASSERT_EQ(rows[i].Text(1), twins[i].Text(1)) << "row " << i;
            ASSERT_EQ(rows[i].nImage, twins[i].nImage) << "row " << i;
        }
    }
}

// Codes are matched whole and in their case; "%%" escapes the brace.
TEST(UnknownBraceCodeTest, FindsTheFirstCodeTheEngineDoesNotKnow) {
    const std::pair<std::string_view, std::string_view> cases[] = {{"%Y%{make}%{n}%{day}", ""},
                                                                   {"%{foo}%{bar}", "%{foo}"},
                                                                   {"%%{foo}", ""},
                                                                   {"%{make}_%{Make}", "%{Make}"},
                                                                   {"a%{name", "%{name"},
                                                                   {"%{}", "%{}"},
                                                                   {"%", ""}};
    for (const auto& [format, unknown] : cases)
        EXPECT_EQ(UnknownBraceCode(format), unknown) << format;
}

} // namespace
