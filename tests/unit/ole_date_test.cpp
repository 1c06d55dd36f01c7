// The OLE date helpers: calendar fields to and from OLE Automation dates,
// parsing of date texts and strftime formatting in a given time zone.

#include "ole_date.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <ostream>
#include <string>

namespace ole = velmora::ole;
using ole::DateFields;
using testsupport::CScopedTimeZone;

namespace {

using testsupport::operator<<;
using testsupport::DateText;

constexpr const char* kCet = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr double kSecond = 1.0 / 86400;
// 2005-07-25 18:55:28, a typical EXIF date.
const double kJuly2005 = 38558.0 + 68128.0 / 86400;

// Sets LC_ALL for its lifetime and restores the former locale after.
class CScopedLocale {
public:
    explicit CScopedLocale(const char* name) : m_old(std::setlocale(LC_ALL, nullptr)) {
        m_active = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~CScopedLocale() { std::setlocale(LC_ALL, m_old.c_str()); }
    bool Active() const { return m_active; }

private:
    std::string m_old;
    bool m_active = false;
};

struct KnownDate {
    const char* name;
    double value;
    DateFields fields;
};

class OleKnownDate : public testing::TestWithParam<KnownDate> {};

TEST_P(OleKnownDate, ConvertsBothWays) {
    const KnownDate& c = GetParam();
    EXPECT_EQ(DateText(ole::ToFields(c.value)), DateText(c.fields));
    const std::optional<double> value = ole::FromFields(c.fields);
    ASSERT_TRUE(value.has_value());
    EXPECT_DOUBLE_EQ(*value, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OleKnownDate,
    testing::Values(
        KnownDate{"OleEpoch", 0.0, {1899, 12, 30, 0, 0, 0}},
        KnownDate{"FirstDayOf1900", 2.0, {1900, 1, 1, 0, 0, 0}},
        KnownDate{"BeforeEpochFractionCountsForward", -1.25, {1899, 12, 29, 6, 0, 0}},
        KnownDate{"NoLeapDayIn1900", 61.0, {1900, 3, 1, 0, 0, 0}},
        KnownDate{"ExifSample", kJuly2005, {2005, 7, 25, 18, 55, 28}},
        KnownDate{"Last32BitSecond", 50424.0 + 11647.0 / 86400, {2038, 1, 19, 3, 14, 7}},
        KnownDate{"FirstValidDay", -657434.0, {100, 1, 1, 0, 0, 0}},
        KnownDate{"LastValidSecond", 2958465.0 + 86399.0 / 86400, {9999, 12, 31, 23, 59, 59}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OleDateFields, FieldsOutOfRangeGiveNoDate) {
    const DateFields invalid[] = {
        {99, 12, 31, 0, 0, 0},   {10000, 1, 1, 0, 0, 0},  {2005, 0, 1, 0, 0, 0},
        {2005, 13, 1, 0, 0, 0},  {2005, 7, 0, 0, 0, 0},   {2024, 2, 30, 0, 0, 0},
        {2023, 2, 29, 0, 0, 0},  {1900, 2, 29, 0, 0, 0},  {2005, 7, 25, 24, 0, 0},
        {2005, 7, 25, 0, 60, 0}, {2005, 7, 25, 0, 0, 60}, {2005, 7, 25, -1, 0, 0},
    };
    for (const DateFields& f : invalid)
        EXPECT_FALSE(ole::FromFields(f).has_value()) << DateText(f);
    const double outside[] = {-657435.0, 2958466.0, std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity(), 1e300};
    for (double date : outside)
        EXPECT_EQ(DateText(ole::ToFields(date)), "none") << date;
}

TEST(OleDateFields, CalendarFieldsSurviveRoundTrip) {
    for (int year : {100, 1899, 1900, 1970, 2000, 2024, 9999})
        for (int month = 1; month <= 12; ++month)
            for (int day : {1, 15, 28})
                for (const DateFields time :
                     {DateFields{0, 0, 0, 0, 0, 0}, DateFields{0, 0, 0, 12, 34, 56},
                      DateFields{0, 0, 0, 23, 59, 59}}) {
                    const DateFields f{year, month, day, time.hour, time.minute, time.second};
                    const std::optional<double> value = ole::FromFields(f);
                    ASSERT_TRUE(value.has_value()) << DateText(f);
                    EXPECT_EQ(DateText(ole::ToFields(*value)), DateText(f));
                }
    for (const DateFields f : {DateFields{2000, 2, 29, 6, 0, 0}, DateFields{2024, 2, 29, 0, 0, 1},
                               DateFields{1899, 12, 29, 23, 59, 59}})
        EXPECT_EQ(DateText(ole::ToFields(ole::FromFields(f).value())), DateText(f));
}

TEST(OleDateFields, RoundsToTheNearestWholeSecond) {
    const struct {
        const char* name;
        double value;
        const char* expected;
    } cases[] = {
        {"just below a whole second", kJuly2005 - 0.001 * kSecond, "2005-07-25 18:55:28"},
        {"just above a whole second", kJuly2005 + 0.001 * kSecond, "2005-07-25 18:55:28"},
        {"below half a second", kJuly2005 + 0.499 * kSecond, "2005-07-25 18:55:28"},
        {"above half a second", kJuly2005 + 0.501 * kSecond, "2005-07-25 18:55:29"},
        {"last half second carries to midnight", 38558.0 + 86399.6 * kSecond,
         "2005-07-26 00:00:00"},
        {"carry crosses the year end", 38717.0 + 86399.6 * kSecond, "2006-01-01 00:00:00"},
        {"carry before the epoch moves toward it", -1.0 - 86399.6 * kSecond, "1899-12-30 00:00:00"},
        {"carry past the last day", 2958465.0 + 86399.6 * kSecond, "none"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DateText(ole::ToFields(c.value)), c.expected) << c.name;
}

struct ParseCase {
    const char* name;
    const char* text;
    const char* expected; // nullptr: not a date
};

class OleParse : public testing::TestWithParam<ParseCase> {};

TEST_P(OleParse, GivesTheDateOrZero) {
    const ParseCase& c = GetParam();
    const double date = ole::ParseDateTime(c.text);
    if (c.expected == nullptr)
        EXPECT_EQ(date, 0.0);
    else
        EXPECT_EQ(DateText(ole::ToFields(date)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OleParse,
    testing::Values(
        ParseCase{"ConvertedExifForm", "2005-07-25 18:55:28", "2005-07-25 18:55:28"},
        ParseCase{"IsoWithT", "2005-07-25T18:55:28", "2005-07-25 18:55:28"},
        ParseCase{"DateOnlyIsMidnight", "2005-07-25", "2005-07-25 00:00:00"},
        ParseCase{"HoursAndMinutesOnly", "2005-07-25 18:55", "2005-07-25 18:55:00"},
        ParseCase{"SurroundingBlanks", " \t2005-07-25 18:55:28  ", "2005-07-25 18:55:28"},
        ParseCase{"FractionDroppedNotRounded", "2005-07-25 18:55:28.999", "2005-07-25 18:55:28"},
        ParseCase{"LeapDay", "2024-02-29 12:00:00", "2024-02-29 12:00:00"},
        ParseCase{"AllZeroDate", "0000-00-00 00:00:00", nullptr},
        ParseCase{"Month13", "2005-13-01 00:00:00", nullptr},
        ParseCase{"February30", "2024-02-30 00:00:00", nullptr},
        ParseCase{"February29OfCommonYear", "2023-02-29", nullptr},
        ParseCase{"Hour24", "2005-07-25 24:00:00", nullptr},
        ParseCase{"TrailingGarbage", "2005-07-25 18:55:28x", nullptr},
        ParseCase{"TimeCutAfterColon", "2005-07-25 18:55:", nullptr},
        ParseCase{"HourWithoutMinutes", "2005-07-25 18", nullptr},
        ParseCase{"TwoDigitYear", "05-07-25", nullptr}, ParseCase{"Empty", "", nullptr},
        ParseCase{"BlanksOnly", "   ", nullptr},
        ParseCase{"UnconvertedExifColons", "2005:07:25 18:55:28", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OleParse, ResultDoesNotDependOnTheLocale) {
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "ru_RU.UTF-8", "fa_IR.UTF-8"}) {
        CScopedLocale locale(name);
        if (!locale.Active())
            continue;
        EXPECT_EQ(ole::ParseDateTime("2005-07-25 18:55:28"), kJuly2005) << name;
        EXPECT_EQ(ole::Format(kJuly2005, "%Y%m%d_%H%M%S"), "20050725_185528") << name;
        return;
    }
    GTEST_SKIP() << "no locale besides C and POSIX is installed";
}

struct FormatCase {
    const char* name;
    const char* tz;
    double date;
    const char* format;
    const char* expected;
};

class OleFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(OleFormat, ExpandsDateCodes) {
    const FormatCase& c = GetParam();
    CScopedTimeZone tz(c.tz);
    CScopedLocale locale("C");
    EXPECT_EQ(ole::Format(c.date, c.format), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OleFormat,
    testing::Values(
        FormatCase{"DefaultFileName", "UTC0", kJuly2005, "Img%Y%m%d_%H%M%S", "Img20050725_185528"},
        FormatCase{"DayOfYear", "UTC0", kJuly2005, "%j", "206"},
        FormatCase{"LastDayOfLeapYear", "UTC0", 45657.0, "%j", "366"},
        FormatCase{"WeekdayInCLocale", "UTC0", kJuly2005, "%a %A %b", "Mon Monday Jul"},
        FormatCase{"WeekdayBeforeUnixEpoch", "UTC0", 0.0, "%a %Y-%m-%d", "Sat 1899-12-30"},
        FormatCase{"WeekdayOf1900", "UTC0", 2.0, "%a", "Mon"},
        FormatCase{"TwelveHourClock", "UTC0", kJuly2005, "%I%p", "06PM"},
        FormatCase{"EscapedPercentLeftAlone", "UTC0", kJuly2005, "100%% %%z", "100% %z"},
        FormatCase{"PlainTextOnly", "UTC0", kJuly2005, "photo", "photo"},
        FormatCase{"EmptyFormat", "UTC0", kJuly2005, "", ""},
        FormatCase{"ZoneNameInWinter", kCet, 45306.5, "%z", "CET"},
        FormatCase{"ZoneNameInSummer", kCet, 45474.5, "%z %Z", "CEST CEST"},
        FormatCase{"ZoneNameUtc", "UTC0", kJuly2005, "%z", "UTC"},
        FormatCase{"SpringGapTimeKept", kCet, 45382.0 + 9000.0 / 86400, "%H:%M", "02:30"},
        FormatCase{"RepeatedHourTimeKept", kCet, 45592.0 + 9000.0 / 86400, "%H:%M", "02:30"},
        FormatCase{"DateOutOfRange", "UTC0", 2958466.0, "%Y", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OleFormat, OutputLongerThanFirstGuessIsComplete) {
    CScopedTimeZone tz("UTC0");
    CScopedLocale locale("C");
    std::string format, expected;
    for (int i = 0; i < 20; ++i) {
        format += "%c";
        expected += "Mon Jul 25 18:55:28 2005";
    }
    EXPECT_EQ(ole::Format(kJuly2005, format), expected);
}

TEST(OleFormat, HugeFieldWidthGivesEmptyTextInsteadOfExhaustingMemory) {
    CScopedTimeZone tz("UTC0");
    CScopedLocale locale("C");
    EXPECT_EQ(ole::Format(kJuly2005, "Img%2147483647Y"), "");
    EXPECT_EQ(ole::Format(kJuly2005, "%100Y").size(), 100u) << "a sane width still works";
}

TEST(OleFromTime, GivesLocalCalendarTime) {
    const struct {
        const char* tz;
        std::time_t seconds;
        const char* expected;
    } cases[] = {
        {"UTC0", 0, "1970-01-01 00:00:00"},          {kCet, 0, "1970-01-01 01:00:00"},
        {kCet, 1719828000, "2024-07-01 12:00:00"},   {"UTC0", -86400, "1969-12-31 00:00:00"},
        {"UTC0", 2147483647, "2038-01-19 03:14:07"},
    };
    for (const auto& c : cases) {
        CScopedTimeZone tz(c.tz);
        EXPECT_EQ(DateText(ole::ToFields(ole::FromTime(c.seconds))), c.expected) << c.tz;
    }
    CScopedTimeZone tz("UTC0");
    EXPECT_EQ(ole::FromTime(400000000000), 0.0) << "beyond the year 9999";
}

} // namespace
