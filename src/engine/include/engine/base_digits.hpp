// Writing a number as digits in a base.
#pragma once

#include <cstdint>

#include "engine/text.hpp"

namespace engine {

// Appends the digits of `value` in `base` (at least 2), most significant
// first, each written as its decimal text, so that a digit worth 10 or more
// takes several characters. Zero is the single digit "0".
void append_digits(std::uint64_t value, std::uint64_t base, Text& out);

}  // namespace engine
