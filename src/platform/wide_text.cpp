#include "wide_text.hpp"

#ifdef _WIN32

namespace platform {

namespace {

// Bytes of a sequence from its first byte (1 for a stray continuation byte,
// which then stands for itself, as a replacement would).
std::size_t sequence_length(unsigned char lead) {
    return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

}  // namespace

std::wstring wide_of(const std::string& utf8) {
    std::wstring wide;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length = sequence_length(lead);
        if (i + length > utf8.size()) length = 1;
        char32_t c = length == 1 ? lead : lead & (0x7Fu >> length);
        for (std::size_t k = 1; k < length; ++k)
            c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        if (c > 0xFFFF) {
            wide += wchar_t(0xD800 + ((c - 0x10000) >> 10));
            wide += wchar_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            wide += wchar_t(c);
        }
        i += length;
    }
    return wide;
}

std::string utf8_of(const wchar_t* wide) {
    std::string utf8;
    for (std::size_t i = 0; wide[i] != 0; ++i) {
        char32_t c = char32_t(wide[i]);
        const bool pair =
            c >= 0xD800 && c < 0xDC00 && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000;
        if (pair) c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(wide[++i]) - 0xDC00);
        if (c < 0x80) {
            utf8 += char(c);
        } else if (c < 0x800) {
            utf8 += char(0xC0 | (c >> 6));
            utf8 += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += char(0xE0 | (c >> 12));
            utf8 += char(0x80 | ((c >> 6) & 0x3F));
            utf8 += char(0x80 | (c & 0x3F));
        } else {
            utf8 += char(0xF0 | (c >> 18));
            utf8 += char(0x80 | ((c >> 12) & 0x3F));
            utf8 += char(0x80 | ((c >> 6) & 0x3F));
            utf8 += char(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

}  // namespace platform

#endif
