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
// %M %S %U %w %W %y %Y, the value codes ("%{make}", ...), and a "%" that ends
// the format. Anything else (the
// locale's names and representations, the zone, flags and widths, a "%" that
// the counter's digits would complete, bytes a multibyte locale could read
// otherwise) leaves the program uncompiled, and the caller takes the strftime
// path for the whole format. The list's own counters in braces compile too:
// "%{day}" (the row's counter of its day) and "%{n}" (the clash suffix, which
// only the whole list can choose: the program writes nothing for it and says
// where it stands).
class CFormatProgram {
public:
    explicit CFormatProgram(std::string_view format);

    bool Compiled() const { return m_compiled; }

    // How many "%{n}" codes the format holds.
    std::size_t ClashCount() const { return m_clashCount; }

    // Appends the name part of the format for `date`, `counter` and the day's
    // counter `dayCounter`: what ole::Format gives for the format with its
    // counter codes replaced and the value codes by `values`. Where each "%{n}" stands (its offset
    // in `out`) goes to `clashAt`, which has room for ClashCount() offsets when there are any. Only
    // for a compiled program.
    void Append(std::string& out, const CNameDate& date, std::uint32_t counter,
                const CNameValues& values = {}, std::uint32_t dayCounter = 0,
                std::uint32_t* clashAt = nullptr) const;

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
        DayCounter,
        Clash,
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
    // Compiles the brace code that starts `rest` (after its "%"); returns
    // its length, 0 for a code the program does not know.
    std::size_t CompileBraceCode(std::string_view rest);
    void AddText(std::string_view text);
    // Writes the name part at `out`, which has room for m_maxLength bytes and
    // stands at offset `origin` of the name; returns its end.
    char* Write(char* out, std::size_t origin, const CNameDate& date, std::uint32_t counter,
                const CNameValues& values, std::uint32_t dayCounter, std::uint32_t* clashAt) const;

    std::vector<Step> m_steps;
    std::string m_text;
    std::size_t m_maxLength = 0; // what Append can add at most
    std::size_t m_clashCount = 0;
    bool m_compiled = false;
};

} // namespace velmora
