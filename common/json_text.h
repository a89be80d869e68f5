// JSON string literals, for the status report and the simulator's log.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// A JSON string literal of the text: quotes and backslashes escaped, control
// bytes as \u00XX. With `ascii`, every byte from 0x7F up as well, for bytes
// that need not be UTF-8 (a receiver's line noise).
inline std::string json_string(std::string_view text, bool ascii = false)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || (ascii && c >= 0x7F)) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}
