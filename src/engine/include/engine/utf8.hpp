// UTF-8 for code points: what the command line writes, and what the encoder
// memoises its pieces as for it.
#pragma once

#include <cstddef>
#include <string>

#include "engine/text.hpp"

namespace engine {

// Writes 1 to 4 bytes; a surrogate gets the three bytes of its value.
inline std::size_t encode_utf8(CodePoint c, char* out) {
    if (c < 0x80) {
        out[0] = char(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = char(0xC0 | (c >> 6));
        out[1] = char(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = char(0xE0 | (c >> 12));
        out[1] = char(0x80 | ((c >> 6) & 0x3F));
        out[2] = char(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | (c >> 18));
    out[1] = char(0x80 | ((c >> 12) & 0x3F));
    out[2] = char(0x80 | ((c >> 6) & 0x3F));
    out[3] = char(0x80 | (c & 0x3F));
    return 4;
}

inline void append_utf8(const CodePoint* chars, std::size_t length, std::string& out) {
    for (std::size_t i = 0; i < length; ++i) {
        char bytes[4];
        out.append(bytes, encode_utf8(chars[i], bytes));
    }
}

}  // namespace engine
