#include "utf8_input.hpp"

#include <cstdio>

namespace cli {

namespace {

// The range the second byte of a sequence must lie in, for its lead byte;
// this excludes overlong forms, surrogates and values above U+10FFFF.
void second_byte_range(unsigned char lead, unsigned& low, unsigned& high) {
    low = 0x80;
    high = 0xBF;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
}

bool valid_lead(unsigned char lead) {
    return lead >= 0xC2 && lead <= 0xF4;
}

bool valid_follower(const unsigned char* bytes, std::size_t k) {
    unsigned low = 0x80, high = 0xBF;
    if (k == 1) second_byte_range(bytes[0], low, high);
    return bytes[k] >= low && bytes[k] <= high;
}

std::string hex_byte(unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof(text), "0x%02X", unsigned(byte));
    return text;
}

}  // namespace

bool Utf8Input::valid_prefix(const unsigned char* bytes, std::size_t length) {
    if (length == 0) return true;
    if (!valid_lead(bytes[0])) return false;
    for (std::size_t k = 1; k < length; ++k) {
        if (!valid_follower(bytes, k)) return false;
    }
    return true;
}

bool Utf8Input::finish() {
    if (pending_length_ == 0) return true;
    error_offset_ = pending_start_;
    error_reason_ = "the input ends inside a multi-byte sequence";
    pending_length_ = 0;
    return false;
}

std::string Utf8Input::failure_text(std::uint64_t bytes_before) const {
    return "invalid UTF-8 at byte offset " + std::to_string(bytes_before + error_offset_) + ": " +
           error_reason_;
}

void Utf8Input::restart() {
    pending_length_ = 0;
    offset_ = 0;
    error_offset_ = 0;
    error_reason_.clear();
}

bool Utf8Input::fail(std::uint64_t offset, const unsigned char* bytes, std::size_t available) {
    error_offset_ = offset;
    pending_length_ = 0;
    if (!valid_lead(bytes[0])) {
        error_reason_ = "byte " + hex_byte(bytes[0]) + " cannot start a character";
        return false;
    }
    std::size_t k = 1;
    while (k < available && valid_follower(bytes, k)) ++k;
    error_reason_ = "byte " + hex_byte(bytes[k]) + " cannot continue the sequence started by " +
                    hex_byte(bytes[0]);
    return false;
}

}  // namespace cli
