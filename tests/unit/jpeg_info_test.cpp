// CJpegInfo: the name tables and the conversion of the date taken to seconds.

#include "jpeg_info.h"
#include "ole_date.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>
#include <ostream>
#include <string>

namespace ole = velmora::ole;
using testsupport::CScopedTimeZone;

namespace {

using testsupport::operator<<;

constexpr const char* kCet = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr double kSecond = 1.0 / 86400;
const double kUnixEpoch = 25569.0;
const double kJuly2005 = 38558.0 + 68128.0 / 86400;        // 2005-07-25 18:55:28
const double kLast32BitSecond = 50424.0 + 11647.0 / 86400; // 2038-01-19 03:14:07 UTC

std::time_t TimeOf(double date) {
    CJpegInfo info{};
    info.m_dtTaken = date;
    return info.DateTakenAsTime();
}

TEST(JpegInfoNames, OrientationNamesFollowTheCode) {
    const char* const expected[] = {"Undefined",  "Normal",        "flip horizontal",
                                    "rotate 180", "flip vertical", "transpose",
                                    "rotate 90",  "transverse",    "rotate 270"};
    CJpegInfo info{};
    for (int code = 0; code <= 8; ++code) {
        info.m_nOrientation = code;
        EXPECT_STREQ(info.OrientationName(), expected[code]) << code;
    }
}

// Asks rows 0, 1, 2, ... as the JPEG Information window does; returns the row
// that answered and checks that every row before it answered FALSE with an
// empty text.
int FirstAnsweringRow(int process, std::string& name) {
    CJpegInfo info{};
    info.m_nProcess = process;
    for (int row = 0; row < kProcessNameCount; ++row) {
        name = "left over";
        if (info.ProcessName(row, name))
            return row;
        EXPECT_EQ(name, "") << "row " << row;
    }
    return -1;
}

TEST(JpegInfoNames, ProcessNameWalkStopsAtTheMatchingRow) {
    const struct {
        int process;
        int row;
        const char* name;
    } cases[] = {
        {0xC0, 0, "Baseline"},
        {0xC2, 2, "Progressive"},
        {0xC5, 4, "Differential sequential"},
        {0xCF, 12, "Differential lossless, arithmetic coding"},
        {0, 13, "Unknown"},
        {0xC4, 13, "Unknown"}, // not a frame-header code
    };
    for (const auto& c : cases) {
        std::string name;
        EXPECT_EQ(FirstAnsweringRow(c.process, name), c.row) << std::hex << c.process;
        EXPECT_EQ(name, c.name) << std::hex << c.process;
    }
}

TEST(JpegInfoNames, ProcessRowOutsideTheTableAnswersFalse) {
    CJpegInfo info{};
    for (int row : {-1, kProcessNameCount}) {
        std::string name = "left over";
        EXPECT_FALSE(info.ProcessName(row, name)) << row;
        EXPECT_EQ(name, "");
    }
}

struct TimeCase {
    const char* name;
    double date;
    std::time_t expected;
};

class DateTakenAsTimeUtc : public testing::TestWithParam<TimeCase> {};

TEST_P(DateTakenAsTimeUtc, GivesSecondsOrMarker) {
    CScopedTimeZone tz("UTC0");
    EXPECT_EQ(TimeOf(GetParam().date), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DateTakenAsTimeUtc,
    testing::Values(TimeCase{"NoDate", 0.0, 0}, TimeCase{"EveningOfOleEpochDay", 0.75, 0},
                    TimeCase{"JustBelowOneDay", 1.0 - kSecond, 0},
                    TimeCase{"NegativeDate", -1.25, 0},
                    TimeCase{"NotANumber", std::numeric_limits<double>::quiet_NaN(), 0},
                    TimeCase{"OneDayIsBefore1970", 1.0, -1},
                    TimeCase{"LastSecondOf1969", kUnixEpoch - kSecond, -1},
                    TimeCase{"UnixEpoch", kUnixEpoch, 0},
                    TimeCase{"FirstSecondAfterEpoch", kUnixEpoch + kSecond, 1},
                    TimeCase{"ExifSample", kJuly2005, 1122317728},
                    TimeCase{"JustBelowWholeSecondRoundsUp", kJuly2005 - 0.4 * kSecond, 1122317728},
                    TimeCase{"Last32BitSecond", kLast32BitSecond, 2147483647},
                    TimeCase{"FirstSecondPast32Bits", kLast32BitSecond + kSecond, -1},
                    TimeCase{"LastValidDate", 2958465.0, -1}, TimeCase{"BeyondDateRange", 1e7, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DateTakenAsTime, ParsedExifDateKeepsItsSeconds) {
    CScopedTimeZone tz("UTC0");
    EXPECT_EQ(TimeOf(ole::ParseDateTime("2005-07-25 18:55:28")), 1122317728);
    EXPECT_EQ(TimeOf(ole::ParseDateTime("2005-07-25 18:55:27")), 1122317727);
}

TEST(DateTakenAsTime, FieldsAreLocalTime) {
    CScopedTimeZone tz(kCet);
    EXPECT_EQ(TimeOf(45306.5), 1705316400) << "2024-01-15 12:00 CET";
    EXPECT_EQ(TimeOf(45474.5), 1719828000) << "2024-07-01 12:00 CEST";
    EXPECT_EQ(TimeOf(kUnixEpoch + 1800 * kSecond), -1) << "1970-01-01 00:30 CET is in 1969 UTC";
}

// In the repeated autumn hour and the spring gap the C library decides; the
// result must be what mktime gives for the same fields with tm_isdst = -1.
// The two possible readings are listed to show that the zone rule is in force.
TEST(DateTakenAsTime, DaylightSavingEdgesFollowMktime) {
    CScopedTimeZone tz(kCet);
    const struct {
        const char* name;
        ole::DateFields fields;
        std::time_t summerTime; // the moment read as CEST
        std::time_t winterTime; // the moment read as CET
    } cases[] = {
        {"autumn repeated hour", {2024, 10, 27, 2, 30, 0}, 1729989000, 1729992600},
        {"spring gap", {2024, 3, 31, 2, 30, 0}, 1711845000, 1711848600},
    };
    for (const auto& c : cases) {
        std::tm tm{};
        tm.tm_year = c.fields.year - 1900;
        tm.tm_mon = c.fields.month - 1;
        tm.tm_mday = c.fields.day;
        tm.tm_hour = c.fields.hour;
        tm.tm_min = c.fields.minute;
        tm.tm_isdst = -1;
        const std::time_t expected = mktime(&tm);
        EXPECT_TRUE(expected == c.summerTime || expected == c.winterTime) << c.name;
        EXPECT_EQ(TimeOf(ole::FromFields(c.fields).value()), expected) << c.name;
    }
}

} // namespace
