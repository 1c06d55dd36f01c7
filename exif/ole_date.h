#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

// Dates as OLE Automation dates: a double counting days from 1899-12-30 00:00,
// its fraction the time of day. Before that day the whole part is negative and
// the fraction still counts forward from midnight (-1.25 is 1899-12-29 06:00).
// 0.0 means "no date" everywhere in the program. Valid dates run from the year
// 100 to 9999. Nothing here depends on the locale except the names and
// representations that Format's date codes produce.

namespace velmora::ole {

struct DateFields {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0; // 0..59
    int second = 0; // 0..59
};

// The OLE date of calendar fields; nullopt when a field is out of range.
std::optional<double> FromFields(const DateFields& fields);

// Seconds since 1970-01-01 00:00 of the fields read as they stand, in no
// zone: a wall-clock time as one number, for any valid fields.
std::int64_t SecondsOf(const DateFields& fields);

// The fields of such a number; nullopt outside the valid years.
std::optional<DateFields> FieldsOf(std::int64_t seconds);

// The calendar fields of an OLE date, rounded to the nearest whole second;
// nullopt outside the valid range (or for NaN).
std::optional<DateFields> ToFields(double date);

// The fields as a C calendar record (weekday and day of year not filled in),
// daylight saving left for the C library to decide.
std::tm ToTm(const DateFields& fields);

// Parses "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fff]]" and the same with "T"
// between date and time, blanks around allowed; a fraction of a second is
// dropped. Returns 0.0 for any text that is not such a valid date.
double ParseDateTime(std::string_view text);

// The local calendar date-time of seconds since 1970; 0.0 when out of range.
double FromTime(std::time_t seconds);

// Expands strftime codes on the date; "%z" gives the time-zone name (as "%Z"),
// not a numeric offset. An empty text for a date out of range, or when the
// result would run past 64 KiB.
std::string Format(double date, std::string_view format);

} // namespace velmora::ole
