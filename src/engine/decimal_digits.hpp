// The Unicode decimal digits beyond ASCII, which the interpreter's int()
// reads like the ASCII digits of the same value.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/text.hpp"

namespace engine {

// Code points first..last are the digits value_of_first, value_of_first + 1, ...
struct DigitRun {
    std::uint32_t first;
    std::uint32_t last;
    int value_of_first;
};

// Sorted by code point; generated from the Unicode database.
extern const DigitRun decimal_digit_runs[];
extern const std::size_t decimal_digit_run_count;

// The value of a decimal digit above ASCII, or -1.
int decimal_digit_value(CodePoint c);

}  // namespace engine
