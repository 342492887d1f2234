#include "json_text.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD"; // U+FFFD

// The length of the well-formed UTF-8 sequence at the start of `s`, or 0 (RFC 3629: no
// overlong forms, no surrogates, nothing above U+10FFFF).
size_t utf8_sequence(std::string_view s) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    const uint8_t b0 = byte(0);
    size_t n = 0;
    uint8_t lo = 0x80, hi = 0xBF; // the range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (s.size() < n || byte(1) < lo || byte(1) > hi) return 0;
    for (size_t i = 2; i < n; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return n;
}

void append_escaped(std::string &out, uint8_t c) {
    switch (c) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        std::array<char, 8> u{};
        std::snprintf(u.data(), u.size(), "\\u%04x", c);
        out += u.data();
    }
}

} // namespace

std::string json_string(std::string_view text) {
    std::string out = "\"";
    while (!text.empty()) {
        const auto c = static_cast<uint8_t>(text[0]);
        size_t used = 1;
        if (c == '"' || c == '\\' || c < 0x20 || c == 0x7F) {
            append_escaped(out, c);
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (const size_t n = utf8_sequence(text); n != 0) {
            out += text.substr(0, n);
            used = n;
        } else {
            out += replacement;
        }
        text.remove_prefix(used);
    }
    return out + "\"";
}
