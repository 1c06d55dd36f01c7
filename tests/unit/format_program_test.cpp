// The compiled name format against the strftime path it stands in for: every
// code of the format language, over dates that stress the calendar, must give
// the rows the same names, statuses and count, byte for byte.

#include "date_choice.h"
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
// plain text and a trailing "%": those the program compiles, and those left
// to the strftime path.
const std::string_view kCompiledCodes[] = {"%d",    "%H",   "%I",  "%j",   "%m", "%M", "%S",
                                           "%U",    "%w",   "%W",  "%y",   "%Y", "%%", "%C",
                                           "%C-%C", "%%%C", "%C%", "img%", "%",  "%%%"};
const std::string_view kCompiledFormats[] = {
    "", "plain", "été_%Y", "sub/%Y_%C", "Img%Y%m%d_%H%M%S_%C", "%Y%m%d_%H%M%S_%"};
const std::string_view kStrftime[] = {"%a",  "%A",  "%b",  "%B",  "%c",  "%p",   "%x",
                                      "%X",  "%z",  "%Z",  "%#d", "%#x", "%-d",  "%_H",
                                      "%5Y", "%Ey", "%Od", "%Q",  "%%C", "%%CY", "x\0%Y"sv};

std::int64_t Millis(int year, int month, int day, int hour, int minute, int second) {
    return ole::SecondsOf({year, month, day, hour, minute, second}) * 1000;
}

// Leap days, year ends, the OLE and Unix epochs, 2038, the ends of the valid
// years, noon and midnight, weeks that start on a Sunday or a Monday, and a
// value outside the years a date can have.
const std::int64_t kDates[] = {
    Millis(2024, 2, 29, 12, 0, 0),    Millis(2000, 2, 29, 0, 0, 0),
    Millis(1900, 2, 28, 23, 59, 59),  Millis(1900, 3, 1, 11, 59, 59),
    Millis(1999, 12, 31, 23, 59, 59), Millis(2000, 1, 1, 0, 0, 0),
    Millis(1899, 12, 29, 6, 0, 0),    Millis(1899, 12, 30, 13, 1, 2),
    Millis(1970, 1, 1, 0, 0, 0),      Millis(1969, 12, 31, 23, 59, 59) + 500,
    Millis(2038, 1, 19, 3, 14, 8),    Millis(2021, 1, 3, 12, 30, 0),
    Millis(2018, 12, 31, 0, 0, 1),    Millis(9999, 12, 31, 23, 59, 59),
    Millis(100, 1, 1, 0, 0, 0),       Millis(999, 12, 31, 12, 0, 0),
    Millis(10000, 1, 1, 0, 0, 0),
};

// The rows: the dates over and over, past the counter's fourth digit; every
// third row already bears its name in other case, every seventh is undated.
CListRows MakeRows(std::size_t count) {
    CListRows rows(count);
    for (std::size_t i = 0; i < count; ++i) {
        rows[i].SetText(0, i % 2 == 0 ? "DSC_0001.JPG" : "dir.d/noext");
        rows[i].nImage = i % 7 == 6 ? RowNoDate : RowToRename;
        rows[i].nData = kDates[i % std::size(kDates)];
    }
    return rows;
}

// What the strftime path names row `index`.
std::string StrftimeName(const CListRow& row, std::size_t index, const std::string& format) {
    CJpegFile carrier;
    const std::optional<ole::DateFields> fields = WallFields(row.nData);
    carrier.m_info.m_dtTaken = fields ? ole::FromFields(*fields).value_or(0.0) : 0.0;
    std::string name;
    carrier.BuildFileName(std::string(row.Text(0)), name, format, static_cast<int>(index));
    return name;
}

void ExpectNamedAsByStrftime(std::size_t count, const std::string& format) {
    CListRows rows = MakeRows(count);
    for (std::size_t i = 0; i < count; i += 3) {
        if (rows[i].nImage == RowToRename)
            rows[i].SetText(0, FoldCase(StrftimeName(rows[i], i, format)));
    }
    const CListRows before = rows;
    unsigned expectedCount = 0;
    const unsigned renameCount = UpdateConvertedNames(rows, format);
    for (std::size_t i = 0; i < count; ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        if (before[i].nImage == RowNoDate) {
            ASSERT_EQ(rows[i].Text(1), "");
            continue;
        }
        const std::string expected = StrftimeName(before[i], i, format);
        const bool named = EqualNoCase(expected, before[i].Text(0));
        expectedCount += named ? 0 : 1;
        ASSERT_EQ(rows[i].Text(1), expected);
        ASSERT_EQ(rows[i].nImage, named ? RowNamed : RowToRename);
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

TEST_F(FormatProgramTest, EveryCodeOverEveryDateNamesAsTheStrftimePath) {
    const std::pair<std::span<const std::string_view>, bool> groups[] = {
        {kCompiledCodes, true}, {kCompiledFormats, true}, {kStrftime, false}};
    for (const auto& [formats, compiled] : groups) {
        for (const std::string_view code : formats) {
            const std::string format(code);
            SCOPED_TRACE(format);
            EXPECT_EQ(CFormatProgram(format).Compiled(), compiled);
            ExpectNamedAsByStrftime(1200, format);
        }
    }
}

// Lists this long are split over the cores; the names and the count must not
// show where.
TEST_F(FormatProgramTest, LongListNamedAsInOnePass) {
    for (const char* format : {kDefaultFormat, "%a_%C"})
        ExpectNamedAsByStrftime(40000, format);
}

} // namespace
