#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Builds one JSON object as text, fields in the order they are added. Texts
// are written as valid JSON strings whatever their bytes: bytes that are not
// valid UTF-8 become U+FFFD.
class CJsonObject {
public:
    CJsonObject& Text(std::string_view key, std::string_view value);
    CJsonObject& Null(std::string_view key);
    // A file name: as Text, plus, when its bytes are not valid UTF-8 (and the
    // text therefore not exact), a field `key`_hex with every byte in hex.
    CJsonObject& FileName(std::string_view key, std::string_view name);
    CJsonObject& Bool(std::string_view key, bool value);
    CJsonObject& Integer(std::string_view key, std::int64_t value);
    // Six significant digits; null for a value JSON cannot hold (NaN, infinity).
    CJsonObject& Float(std::string_view key, double value);

    // A value that is already JSON text: a nested object or an array.
    CJsonObject& Raw(std::string_view key, std::string_view json);

    std::string Finish() const { return m_text + '}'; }

private:
    CJsonObject& Key(std::string_view key);

    std::string m_text = "{";
};

// `text` as a JSON string literal, quotes included.
std::string JsonString(std::string_view text);
