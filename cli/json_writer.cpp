#include "json_writer.h"

#include "utf8.h"

#include <cmath>
#include <cstdio>

namespace {

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        char32_t code;
        const std::size_t n = velmora::DecodeUtf8(text, i, code);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string Hex(std::string_view bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        hex += kDigits[static_cast<unsigned char>(c) >> 4];
        hex += kDigits[static_cast<unsigned char>(c) & 0xF];
    }
    return hex;
}

} // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            char32_t code;
            const std::size_t n = velmora::DecodeUtf8(text, i, code);
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

CJsonObject& CJsonObject::FileName(std::string_view key, std::string_view name) {
    Text(key, name);
    if (!IsValidUtf8(name))
        Text(std::string(key) + "_hex", Hex(name));
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
