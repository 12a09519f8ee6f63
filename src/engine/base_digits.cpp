#include "engine/base_digits.hpp"

namespace engine {

namespace {

void append_decimal(std::uint64_t value, Text& out) {
    CodePoint buffer[20];
    int length = 0;
    do {
        buffer[length++] = U'0' + CodePoint(value % 10);
        value /= 10;
    } while (value != 0);
    while (length > 0) out += buffer[--length];
}

}  // namespace

void append_digits(std::uint64_t value, std::uint64_t base, Text& out) {
    std::uint64_t digits[64];
    int count = 0;
    do {
        digits[count++] = value % base;
        value /= base;
    } while (value != 0);
    while (count > 0) append_decimal(digits[--count], out);
}

}  // namespace engine
