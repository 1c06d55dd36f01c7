#include "json_writer.h"

#include <cmath>
#include <cstdio>

namespace {

// Length of the valid UTF-8 sequence at the start of `s`, 0 when it is not one.
std::size_t Utf8SequenceLength(std::string_view s) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    std::uint32_t min;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() < length)
        return 0;
    std::uint32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (byte(i) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t n = Utf8SequenceLength(text.substr(i));
            if (n == 0) {
                out += "\xEF\xBF\xBD"; // U+FFFD
                ++i;
            } else {
                out.append(text.substr(i, n));
                i += n;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof(escape), "\\u%04x", c);
                out += escape;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    return out + '"';
}

CJsonObject& CJsonObject::Key(std::string_view key) {
    if (m_text.size() > 1)
        m_text += ',';
    m_text += JsonString(key);
    m_text += ':';
    return *this;
}

CJsonObject& CJsonObject::Text(std::string_view key, std::string_view value) {
    Key(key).m_text += JsonString(value);
    return *this;
}

CJsonObject& CJsonObject::Null(std::string_view key) {
    Key(key).m_text += "null";
    return *this;
}

CJsonObject& CJsonObject::Bool(std::string_view key, bool value) {
    Key(key).m_text += value ? "true" : "false";
    return *this;
}

CJsonObject& CJsonObject::Integer(std::string_view key, std::int64_t value) {
    Key(key).m_text += std::to_string(value);
    return *this;
}

CJsonObject& CJsonObject::Float(std::string_view key, double value) {
    if (!std::isfinite(value))
        return Null(key);
    char number[32];
    std::snprintf(number, sizeof(number), "%.6g", value);
    Key(key).m_text += number;
    return *this;
}

CJsonObject& CJsonObject::Raw(std::string_view key, std::string_view json) {
    Key(key).m_text.append(json);
    return *this;
}
