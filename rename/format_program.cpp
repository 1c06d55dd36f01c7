#include "format_program.h"

#include "format_codes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <langinfo.h>
#include <utility>

namespace velmora {
namespace {

constexpr std::string_view kCounterCode = "%C";
constexpr std::size_t kCounterMinDigits = 3;
constexpr std::size_t kCounterMaxDigits = 10; // any 32-bit counter
constexpr std::size_t kLongestNumber = 4;     // %Y of the year 9999
// Longer formats take the strftime path, whose 64 KiB cap on a result the
// program would otherwise have to reproduce.
constexpr std::size_t kMaxCompiledFormat = 4096;
constexpr std::size_t kStackName = 256; // room for any usual name

// strftime copies the bytes between codes as they stand when no byte of a
// multibyte character can be a "%": in single-byte locales and in UTF-8.
bool TextBytesCopiedAsTheyStand() {
    return MB_CUR_MAX == 1 || std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char* PutTwoDigits(char* out, int value) {
    out[0] = static_cast<char>('0' + value / 10);
    out[1] = static_cast<char>('0' + value % 10);
    return out + 2;
}

// Writes `value` in decimal, zero-padded to `minDigits`; returns the end.
char* PutNumber(char* out, std::uint32_t value, std::size_t minDigits) {
    char digits[kCounterMaxDigits];
    char* const end = digits + sizeof(digits);
    char* first = end;
    for (; value >= 100; value /= 100)
        PutTwoDigits(first -= 2, static_cast<int>(value % 100));
    if (value >= 10)
        PutTwoDigits(first -= 2, static_cast<int>(value));
    else
        *--first = static_cast<char>('0' + value);
    for (std::size_t count = static_cast<std::size_t>(end - first); count < minDigits; ++count)
        *out++ = '0';
    return std::copy(first, end, out);
}

} // namespace

CFormatProgram::CFormatProgram(std::string_view format) {
    if (format.size() > kMaxCompiledFormat || format.find('\0') != std::string_view::npos ||
        (!IsAscii(format) && !TextBytesCopiedAsTheyStand()))
        return;
    // The counter codes are replaced first and blindly, so the format falls
    // into pieces at them, each read by the date pass on its own.
    for (std::size_t start = 0;;) {
        const std::size_t code = format.find(kCounterCode, start);
        const bool last = code == std::string_view::npos;
        if (!CompilePiece(format.substr(start, last ? std::string_view::npos : code - start),
                          last)) {
            m_steps.clear();
            m_clashCount = 0;
            return;
        }
        if (last)
            break;
        m_steps.push_back({Op::Counter});
        m_maxLength += kCounterMaxDigits;
        start = code + kCounterCode.size();
    }
    m_compiled = true;
}

bool CFormatProgram::CompilePiece(std::string_view piece, bool last) {
    // The codes whose digits depend on nothing but the date.
    static constexpr std::pair<char, Op> kNumberCodes[] = {
        {'d', Op::Day},     {'H', Op::Hour},       {'I', Op::Hour12},    {'j', Op::YearDay},
        {'m', Op::Month},   {'M', Op::Minute},     {'S', Op::Second},    {'U', Op::SundayWeek},
        {'w', Op::Weekday}, {'W', Op::MondayWeek}, {'y', Op::ShortYear}, {'Y', Op::Year},
    };
    for (std::size_t i = 0; i < piece.size();) {
        const std::size_t percent = piece.find('%', i);
        AddText(piece.substr(i, percent - i));
        if (percent == std::string_view::npos)
            break;
        if (percent + 1 == piece.size()) {
            // strftime copies a "%" it cannot read as a code. Before a
            // counter, though, the digits would make a flag or width of it.
            if (!last)
                return false;
            AddText("%");
            break;
        }
        const char code = piece[percent + 1];
        const auto number =
            std::find_if(std::begin(kNumberCodes), std::end(kNumberCodes),
                         [code](const std::pair<char, Op>& entry) { return entry.first == code; });
        if (code == '{') {
            const std::size_t length = CompileBraceCode(piece.substr(percent + 1));
            if (length == 0)
                return false;
            i = percent + 1 + length;
            continue;
        }
        if (code == '%') {
            AddText("%");
        } else if (number != std::end(kNumberCodes)) {
            m_steps.push_back({number->second});
            m_maxLength += kLongestNumber;
        } else {
            return false;
        }
        i = percent + 2;
    }
    return true;
}

std::size_t CFormatProgram::CompileBraceCode(std::string_view rest) {
    const std::size_t close = rest.find('}');
    if (close == std::string_view::npos)
        return 0;
    const BraceCode* code = BraceCodeNamed(rest.substr(1, close - 1));
    if (code == nullptr)
        return 0;
    if (IsValueCode(*code)) {
        m_steps.push_back({Op::Value, static_cast<std::uint32_t>(*code)});
        m_maxLength += kMaxValueBytes;
    } else if (*code == BraceCode::Day) {
        m_steps.push_back({Op::DayCounter});
        m_maxLength += kCounterMaxDigits;
    } else if (*code == BraceCode::Clash) {
        m_steps.push_back({Op::Clash});
        ++m_clashCount;
    } else {
        return 0;
    }
    return close + 1;
}

void CFormatProgram::AddText(std::string_view text) {
    if (text.empty())
        return;
    if (!m_steps.empty() && m_steps.back().op == Op::Text) {
        m_steps.back().length += static_cast<std::uint32_t>(text.size());
    } else {
        m_steps.push_back({Op::Text, static_cast<std::uint32_t>(m_text.size()),
                           static_cast<std::uint32_t>(text.size())});
    }
    m_text += text;
    m_maxLength += text.size();
}

void CFormatProgram::Append(std::string& out, const CNameDate& date, std::uint32_t counter,
                            const CNameValues& values, std::uint32_t dayCounter,
                            std::uint32_t* clashAt) const {
    // A name is built on the stack and appended at once: growing the string
    // piece by piece would cost more than the digits.
    char buffer[kStackName];
    const std::size_t start = out.size();
    if (m_maxLength <= sizeof(buffer)) {
        char* const end = Write(buffer, start, date, counter, values, dayCounter, clashAt);
        out.append(buffer, static_cast<std::size_t>(end - buffer));
    } else {
        out.resize(start + m_maxLength);
        char* const end =
            Write(out.data() + start, start, date, counter, values, dayCounter, clashAt);
        out.resize(static_cast<std::size_t>(end - out.data()));
    }
}

char* CFormatProgram::Write(char* p, std::size_t origin, const CNameDate& date,
                            std::uint32_t counter, const CNameValues& values,
                            std::uint32_t dayCounter, std::uint32_t* clashAt) const {
    const char* const begin = p;
    for (const Step& step : m_steps) {
        switch (step.op) {
        case Op::Text:
            // Byte by byte: runs between codes are short, shorter than a call.
            for (const char c : std::string_view(m_text).substr(step.offset, step.length))
                *p++ = c;
            break;
        case Op::Counter:
            p = PutNumber(p, counter, kCounterMinDigits);
            break;
        case Op::Day:
            p = PutTwoDigits(p, date.day);
            break;
        case Op::Hour:
            p = PutTwoDigits(p, date.hour);
            break;
        case Op::Hour12:
            p = PutTwoDigits(p, date.hour % 12 == 0 ? 12 : date.hour % 12);
            break;
        case Op::YearDay:
            p = PutNumber(p, static_cast<std::uint32_t>(date.yearDay + 1), 3);
            break;
        case Op::Month:
            p = PutTwoDigits(p, date.month);
            break;
        case Op::Minute:
            p = PutTwoDigits(p, date.minute);
            break;
        case Op::Second:
            p = PutTwoDigits(p, date.second);
            break;
        case Op::SundayWeek:
            p = PutTwoDigits(p, (date.yearDay - date.weekday + 7) / 7);
            break;
        case Op::Weekday:
            *p++ = static_cast<char>('0' + date.weekday);
            break;
        case Op::MondayWeek:
            p = PutTwoDigits(p, (date.yearDay - (date.weekday + 6) % 7 + 7) / 7);
            break;
        case Op::ShortYear:
            p = PutTwoDigits(p, date.year % 100);
            break;
        case Op::Year:
            // Unpadded below the year 1000, as the C library writes it.
            p = PutNumber(p, static_cast<std::uint32_t>(date.year), 1);
            break;
        case Op::DayCounter:
            p = PutNumber(p, dayCounter, kCounterMinDigits);
            break;
        case Op::Clash:
            *clashAt++ = static_cast<std::uint32_t>(origin + static_cast<std::size_t>(p - begin));
            break;
        case Op::Value: {
            // Cut to the room counted for it, whatever the caller passed.
            const std::string_view value =
                values.Of(static_cast<BraceCode>(step.offset)).substr(0, kMaxValueBytes);
            p = std::copy(value.begin(), value.end(), p);
            break;
        }
        }
    }
    return p;
}

} // namespace velmora
