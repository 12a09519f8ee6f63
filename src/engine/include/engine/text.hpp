// Text as the engine sees it: a sequence of Unicode code points.
#pragma once

#include <string>

namespace engine {

using CodePoint = char32_t;
using Text = std::u32string;

constexpr CodePoint kMaxCodePoint = 0x10FFFF;

}  // namespace engine
