#include "file_name_date.h"

#include <cstddef>

namespace velmora {
namespace {

// What a name may carry after its pattern, before the extension; the tests
// hold an example of each.
enum Tail : unsigned {
    kTailNone = 0,
    // "_604": digits after the seconds, milliseconds or a counter; ignored.
    kTailCounter = 1u << 0,
    // "-1", "-2": the number added when a name is taken.
    kTailClash = 1u << 1,
    // " AM" / " PM" of a 12-hour clock, then "_c64fc046", the suffix that
    // keeps downloads of the same second apart.
    kTailClock = 1u << 2,
    // ".MP", ".PORTRAIT": kinds of shot named between the time and the
    // extension.
    kTailKinds = 1u << 3,
};

struct CNamePattern {
    // Literal text and digit fields: yyyy MM dd HH mm ss SSS (milliseconds)
    // and # (any digit). A run of field letters of another length is
    // literal text, so "Screenshot" and "WhatsApp" read as written.
    std::string_view pattern;
    unsigned tail;
};

constexpr unsigned kCamera = kTailCounter | kTailClash;

// Only names attested by public sources or sample names. Not here on
// purpose: "Photo 05-04-2019, 12 34 56.jpg" (day and month order cannot be
// told) and free-form names such as "2021-02-13-1929.heic" (whose EXIF time
// is another).
constexpr CNamePattern kPatterns[] = {
    {"IMG_yyyyMMdd_HHmmss", kCamera},   // Android camera
    {"VID_yyyyMMdd_HHmmss", kCamera},   // Android camera
    {"MVIMG_yyyyMMdd_HHmmss", kCamera}, // older Pixel motion photos
    // Pixel camera since 2020. Public notes say the time is UTC; no file
    // here confirms it, so it is given as written, like the others.
    {"PXL_yyyyMMdd_HHmmssSSS", kTailKinds | kTailClash},
    {"yyyyMMdd_HHmmss", kCamera},                      // Samsung and others
    {"Screenshot_yyyyMMdd-HHmmss", kCamera},           // Android system UI
    {"Screenshot_yyyy-MM-dd-HH-mm-ss", kCamera},       // older Samsung system UI
    {"Screenshot yyyy-MM-dd at HH.mm.ss", kTailClock}, // macOS
    // WhatsApp for Android: the day the phone sent or received the file,
    // the number a counter of that day.
    {"IMG-yyyyMMdd-WA####", kTailNone},
    {"VID-yyyyMMdd-WA####", kTailNone},
    {"AUD-yyyyMMdd-WA####", kTailNone},
    {"PTT-yyyyMMdd-WA####", kTailNone},
    {"DOC-yyyyMMdd-WA####", kTailNone},
    // WhatsApp desktop and web downloads: the time of the message.
    {"WhatsApp Image yyyy-MM-dd at HH.mm.ss", kTailClock},
    {"WhatsApp Image yyyy-MM-dd \xC3\xA0 HH.mm.ss", kTailClock}, // French "à"
    {"signal-yyyy-MM-dd-HHmmss", kCamera},                       // Signal for Android, older
    {"signal-yyyy-MM-dd-HH-mm-ss-SSS", kTailClash},              // Signal for Android, newer
    {"photo_yyyy-MM-dd_HH-mm-ss", kCamera},                      // Telegram Desktop
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsAlnum(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

class CNameCursor {
public:
    explicit CNameCursor(std::string_view name) : m_name(name) {}

    bool AtEnd() const { return m_pos >= m_name.size(); }
    char Peek(std::size_t ahead = 0) const {
        return m_pos + ahead < m_name.size() ? m_name[m_pos + ahead] : '\0';
    }
    bool Accept(std::string_view text) {
        if (m_name.substr(m_pos).starts_with(text)) {
            m_pos += text.size();
            return true;
        }
        return false;
    }
    bool Number(std::size_t digits, int& value) {
        value = 0;
        for (std::size_t i = 0; i < digits; ++i) {
            if (!IsDigit(Peek(i)))
                return false;
            value = value * 10 + (Peek(i) - '0');
        }
        m_pos += digits;
        return true;
    }
    // A separator followed by at least one character of the class; the
    // cursor stays put when there is none.
    template <typename Class> bool Run(char separator, Class inClass) {
        if (Peek() != separator || !inClass(Peek(1)))
            return false;
        ++m_pos;
        while (inClass(Peek()))
            ++m_pos;
        return true;
    }

private:
    std::string_view m_name;
    std::size_t m_pos = 0;
};

struct CNameFields {
    ole::DateFields fields;
    int millis = 0;
    bool bTime = false;
};

bool IsFieldLetter(char c) {
    return std::string_view("yMdHmsS#").find(c) != std::string_view::npos;
}

std::size_t FieldLength(char letter) {
    switch (letter) {
    case 'y':
        return 4;
    case 'S':
        return 3;
    default:
        return 2;
    }
}

bool MatchFields(std::string_view pattern, CNameCursor& in, CNameFields& out) {
    for (std::size_t i = 0; i < pattern.size();) {
        const char letter = pattern[i];
        std::size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == letter)
            ++run;
        if (!IsFieldLetter(letter) || (letter != '#' && run != FieldLength(letter))) {
            if (!in.Accept(pattern.substr(i, 1)))
                return false;
            ++i;
            continue;
        }
        const std::size_t length = letter == '#' ? 1 : run;
        int value = 0;
        if (!in.Number(length, value))
            return false;
        switch (letter) {
        case 'y':
            out.fields.year = value;
            break;
        case 'M':
            out.fields.month = value;
            break;
        case 'd':
            out.fields.day = value;
            break;
        case 'H':
            out.fields.hour = value;
            out.bTime = true;
            break;
        case 'm':
            out.fields.minute = value;
            break;
        case 's':
            out.fields.second = value;
            break;
        case 'S':
            out.millis = value;
            break;
        default:
            break;
        }
        i += length;
    }
    return true;
}

bool IsKindChar(char c) {
    return IsAlnum(c) || c == '_' || c == '-';
}

// The rest of the name after the pattern: the tails it allows, then the
// extension (any letters and digits, any case) or nothing.
bool MatchTail(unsigned tail, CNameCursor& in, CNameFields& out) {
    if (tail & kTailCounter)
        in.Run('_', IsDigit);
    if (tail & kTailClock) {
        const bool am = in.Accept(" AM");
        const bool pm = !am && in.Accept(" PM");
        if (am || pm) {
            if (out.fields.hour < 1 || out.fields.hour > 12)
                return false;
            out.fields.hour = out.fields.hour % 12 + (pm ? 12 : 0);
        }
        in.Run('_', IsAlnum);
    }
    if (tail & kTailClash)
        in.Run('-', IsDigit);
    if (tail & kTailKinds) {
        // Every dotted part but the last is a kind of shot.
        while (in.Peek() == '.' && IsKindChar(in.Peek(1))) {
            CNameCursor ahead = in;
            ahead.Run('.', IsKindChar);
            if (ahead.AtEnd())
                break;
            in = ahead;
        }
    }
    in.Run('.', IsAlnum);
    return in.AtEnd();
}

} // namespace

CFoundDate DateFromFileName(std::string_view name) {
    for (const CNamePattern& pattern : kPatterns) {
        CNameCursor in(name);
        CNameFields found;
        if (!MatchFields(pattern.pattern, in, found) || !MatchTail(pattern.tail, in, found))
            continue;
        if (!ole::FromFields(found.fields))
            return {};
        CFoundDate date;
        date.fields = found.fields;
        date.source = DateSource::FileName;
        date.bTime = found.bTime;
        date.nMillis = static_cast<std::int16_t>(found.millis);
        return date;
    }
    return {};
}

} // namespace velmora
