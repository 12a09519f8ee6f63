#include "engine/decoder.hpp"

#include <utility>

namespace engine {

bool is_whitespace(CodePoint c) {
    if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x1F);
    if (c < 0x85) return false;
    switch (c) {
        case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029:
        case 0x202F: case 0x205F: case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

Decoder::Decoder(std::int64_t base, std::vector<Pass> passes)
    : base_(base),
      fast_digit_limit_(base >= 2 && base <= 36 ? std::uint32_t(base < 10 ? base : 10) : 0),
      chain_(std::move(passes)) {}

void Decoder::restart() {
    state_ = ReplaceChain::kStart;
    in_group_ = false;
    position_ = 0;
}

}  // namespace engine
