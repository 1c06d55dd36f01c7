#pragma once

#include "name_values.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// A date broken down as the number codes of a name format read it.
struct CNameDate {
    int year = 0;
    int month = 0; // 1..12
    int day = 0;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 0; // 0..6, Sunday 0
    int yearDay = 0; // 0..365
};

// A name format compiled once for a whole list: its text runs, number codes
// and counter, so that each row's name is built by appending digits instead
// of a strftime pass per row. Only formats whose every byte of output is
// known are compiled: plain text, "%C" (the counter, replaced before the
// date codes as BuildFileName does), "%%", the number codes %d %H %I %j %m
// %M %S %U %w %W %y %Y, the value codes ("%{make}", ...), and a "%" that
// ends the format. Anything else (the locale's names and representations,
// the zone, flags and widths, a "%" that the counter's digits would complete,
// other brace codes, bytes a multibyte locale could read otherwise) leaves
// the program uncompiled, and the caller takes the strftime path for the
// whole format.
class CFormatProgram {
public:
    explicit CFormatProgram(std::string_view format);

    bool Compiled() const { return m_compiled; }

    // Appends the name part of the format for `date`, `counter` and
    // `values`: what ole::Format gives for the format with its counter and
    // value codes replaced. Only for a compiled program.
    void Append(std::string& out, const CNameDate& date, std::uint32_t counter,
                const CNameValues& values = {}) const;

private:
    enum class Op : std::uint8_t {
        Text,
        Counter,
        Day,
        Hour,
        Hour12,
        YearDay,
        Month,
        Minute,
        Second,
        SundayWeek,
        Weekday,
        MondayWeek,
        ShortYear,
        Year,
        Value, // offset: the BraceCode
    };
    struct Step {
        Op op;
        std::uint32_t offset = 0; // Text: its bytes in m_text
        std::uint32_t length = 0;
    };

    // Compiles one piece of the format between counter codes; false for
    // anything the program does not reproduce.
    bool CompilePiece(std::string_view piece, bool last);
    // A value code by its name between the braces; false for any other.
    bool AddValue(std::string_view name);
    void AddText(std::string_view text);
    // Writes the name part at `out`, which has room for m_maxLength bytes;
    // returns its end.
    char* Write(char* out, const CNameDate& date, std::uint32_t counter,
                const CNameValues& values) const;

    std::vector<Step> m_steps;
    std::string m_text;
    std::size_t m_maxLength = 0; // what Append can add at most
    bool m_compiled = false;
};

} // namespace velmora
