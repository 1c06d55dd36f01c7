#include "ole_date.h"

#include "found_date.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace velmora::ole {
namespace {

constexpr int kMinYear = 100;
constexpr int kMaxYear = 9999;
constexpr std::int64_t kSecondsPerDay = 86400;
// Days from 1970-01-01 back to the OLE epoch 1899-12-30.
constexpr std::int64_t kOleEpochOffset = 25569;
constexpr std::size_t kMaxFormattedLength = 64 * 1024;

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

bool FieldsValid(const DateFields& f) {
    return f.year >= kMinYear && f.year <= kMaxYear && f.month >= 1 && f.month <= 12 &&
           f.day >= 1 && f.day <= DaysInMonth(f.year, f.month) && f.hour >= 0 && f.hour <= 23 &&
           f.minute >= 0 && f.minute <= 59 && f.second >= 0 && f.second <= 59;
}

} // namespace

// A small cursor over the text being parsed.
class TextCursor {
public:
    explicit TextCursor(std::string_view text) : m_text(text) {}

    bool AtEnd() const { return m_pos >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }
    bool Accept(char c) {
        if (Peek() != c || AtEnd())
            return false;
        ++m_pos;
        return true;
    }
    void SkipBlanks() {
        while (!AtEnd() && (Peek() == ' ' || Peek() == '\t'))
            ++m_pos;
    }
    // Reads between minDigits and maxDigits decimal digits.
    bool Number(int minDigits, int maxDigits, int& value) {
        int digits = 0;
        value = 0;
        while (digits < maxDigits && !AtEnd() && Peek() >= '0' && Peek() <= '9') {
            value = value * 10 + (Peek() - '0');
            ++m_pos;
            ++digits;
        }
        return digits >= minDigits;
    }
    // The digits of a decimal fraction as a whole number of 10^-digits
    // units; the digits beyond those are skipped.
    int Fraction(int digits) {
        int value = 0;
        for (int i = 0; i < digits; ++i) {
            const bool digit = !AtEnd() && Peek() >= '0' && Peek() <= '9';
            value = value * 10 + (digit ? Peek() - '0' : 0);
            m_pos += digit;
        }
        while (!AtEnd() && Peek() >= '0' && Peek() <= '9')
            ++m_pos;
        return value;
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

namespace {

// "%z" becomes "%Z" so that the zone comes out as a name; "%%" stays as it is.
std::string ZoneCodesAsNames(std::string_view format) {
    std::string out;
    out.reserve(format.size() + 1);
    for (std::size_t i = 0; i < format.size(); ++i) {
        out += format[i];
        if (format[i] == '%' && i + 1 < format.size()) {
            ++i;
            out += format[i] == 'z' ? 'Z' : format[i];
        }
    }
    return out;
}

} // namespace

std::optional<double> FromFields(const DateFields& f) {
    if (!FieldsValid(f))
        return std::nullopt;
    const std::int64_t oleDay = DaysFromCivil(f.year, f.month, f.day) + kOleEpochOffset;
    const double time =
        static_cast<double>(f.hour * 3600 + f.minute * 60 + f.second) / kSecondsPerDay;
    const double day = static_cast<double>(oleDay);
    return oleDay >= 0 ? day + time : day - time;
}

std::int64_t SecondsOf(const DateFields& f) {
    return DaysFromCivil(f.year, f.month, f.day) * kSecondsPerDay + f.hour * 3600 + f.minute * 60 +
           f.second;
}

std::optional<DateFields> FieldsOf(std::int64_t seconds) {
    // Beyond these the day count would not fit the calendar arithmetic.
    constexpr std::int64_t kLimit = std::int64_t(4000000) * kSecondsPerDay;
    if (seconds < -kLimit || seconds > kLimit)
        return std::nullopt;
    std::int64_t days = seconds / kSecondsPerDay;
    std::int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    DateFields f;
    CivilFromDays(days, f.year, f.month, f.day);
    f.hour = static_cast<int>(rest / 3600);
    f.minute = static_cast<int>(rest / 60 % 60);
    f.second = static_cast<int>(rest % 60);
    if (!FieldsValid(f))
        return std::nullopt;
    return f;
}

std::optional<DateFields> ToFields(double date) {
    if (!std::isfinite(date))
        return std::nullopt;
    const double whole = std::trunc(date);
    if (whole < -700000.0 || whole > 3000000.0)
        return std::nullopt;
    std::int64_t day = static_cast<std::int64_t>(whole);
    std::int64_t seconds = std::llround(std::fabs(date - whole) * kSecondsPerDay);
    if (seconds >= kSecondsPerDay) { // rounded up to the next midnight
        seconds -= kSecondsPerDay;
        ++day;
    }
    DateFields f;
    CivilFromDays(day - kOleEpochOffset, f.year, f.month, f.day);
    f.hour = static_cast<int>(seconds / 3600);
    f.minute = static_cast<int>(seconds / 60 % 60);
    f.second = static_cast<int>(seconds % 60);
    if (!FieldsValid(f))
        return std::nullopt;
    return f;
}

std::tm ToTm(const DateFields& f) {
    std::tm tm{};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = f.second;
    tm.tm_isdst = -1;
    return tm;
}

double ParseDateTime(std::string_view text) {
    // The EXIF form with colons is the EXIF reader's to convert.
    const std::size_t start = text.find_first_not_of(" \t");
    if (start != std::string_view::npos && text.size() > start + 4 && text[start + 4] == ':')
        return 0.0;
    const CFoundDate date = ParseDateText(text, DateSource::ExifDateTime);
    return date.Found() ? FromFields(date.fields).value_or(0.0) : 0.0;
}

double FromTime(std::time_t seconds) {
    std::tm tm{};
    if (localtime_r(&seconds, &tm) == nullptr)
        return 0.0;
    return FromFields(
               {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec})
        .value_or(0.0);
}

std::string Format(double date, std::string_view format) {
    const std::optional<DateFields> f = ToFields(date);
    if (!f)
        return {};
    std::tm tm = ToTm(*f);
    const std::int64_t days = DaysFromCivil(f->year, f->month, f->day);
    tm.tm_wday = static_cast<int>(((days % 7) + 11) % 7); // 1970-01-01 was a Thursday
    tm.tm_yday = static_cast<int>(days - DaysFromCivil(f->year, 1, 1));
    // Only the zone in force at that local time is taken from the C library.
    // mktime is avoided: it normalises fields (moving a time in a
    // daylight-saving gap) and re-reads the zone settings on every call.
    std::tm zone{};
    const std::time_t asUtc = static_cast<std::time_t>(days * kSecondsPerDay + f->hour * 3600 +
                                                       f->minute * 60 + f->second);
    std::time_t moment = asUtc;
    if (localtime_r(&moment, &zone) != nullptr) {
        moment = asUtc - zone.tm_gmtoff; // the offset in force near that moment
        localtime_r(&moment, &zone);
        tm.tm_isdst = zone.tm_isdst;
        tm.tm_gmtoff = zone.tm_gmtoff;
        tm.tm_zone = zone.tm_zone;
    }
    // A trailing blank keeps the result from being empty, so that a zero
    // return of strftime always means "buffer too small".
    const std::string pattern = ZoneCodesAsNames(format) + ' ';
    std::vector<char> buffer(pattern.size() * 4 + 64);
    for (;;) {
        const std::size_t n = std::strftime(buffer.data(), buffer.size(), pattern.c_str(), &tm);
        if (n > 0)
            return std::string(buffer.data(), n - 1);
        // A code with a huge field width ("%2147483647Y") would ask for
        // gigabytes; nothing that long can be a name.
        if (buffer.size() >= kMaxFormattedLength)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace velmora::ole

namespace velmora {

namespace {

// "Z", "+HH:MM", "+HHMM" or "+HH" (or "-"): minutes east of UTC.
bool ReadOffset(ole::TextCursor& in, std::int16_t& offset) {
    if (in.Accept('Z')) {
        offset = 0;
        return true;
    }
    const bool minus = in.Peek() == '-';
    if (!in.Accept('+') && !in.Accept('-'))
        return false;
    int hours = 0;
    int minutes = 0;
    if (!in.Number(2, 2, hours))
        return false;
    if (in.Accept(':')) {
        if (!in.Number(2, 2, minutes))
            return false;
    } else if (!in.AtEnd() && in.Peek() != ' ') {
        if (!in.Number(2, 2, minutes))
            return false;
    }
    if (hours > 14 || minutes > 59)
        return false;
    offset = static_cast<std::int16_t>((minus ? -1 : 1) * (hours * 60 + minutes));
    return true;
}

} // namespace

std::int16_t ParseOffsetText(std::string_view text) {
    ole::TextCursor in(text);
    std::int16_t offset = kNoOffset;
    in.SkipBlanks();
    if (!ReadOffset(in, offset))
        return kNoOffset;
    in.SkipBlanks();
    return in.AtEnd() ? offset : kNoOffset;
}

CFoundDate ParseDateText(std::string_view text, DateSource source) {
    ole::TextCursor in(text);
    CFoundDate date;
    ole::DateFields& f = date.fields;
    in.SkipBlanks();
    if (!in.Number(4, 4, f.year))
        return {};
    const char separator = in.Peek();
    if ((separator != '-' && separator != ':') || !in.Accept(separator) ||
        !in.Number(1, 2, f.month) || !in.Accept(separator) || !in.Number(1, 2, f.day))
        return {};
    if (in.Accept('T') || in.Accept(' ')) {
        in.SkipBlanks();
        if (!in.AtEnd()) {
            if (!in.Number(1, 2, f.hour) || !in.Accept(':') || !in.Number(1, 2, f.minute))
                return {};
            date.bTime = true;
            if (in.Accept(':')) {
                if (!in.Number(1, 2, f.second))
                    return {};
                if (in.Accept('.'))
                    date.nMillis = static_cast<std::int16_t>(in.Fraction(3));
            }
            if (!in.AtEnd() && in.Peek() != ' ' && !ReadOffset(in, date.nOffset))
                return {};
        }
    }
    in.SkipBlanks();
    if (!in.AtEnd() || !ole::FromFields(f))
        return {};
    date.source = source;
    return date;
}

} // namespace velmora
