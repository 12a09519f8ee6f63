// Groups of short digit tokens in base 2 or 3, each ended by a one-byte
// blank, as pigeon and monkey language write them: with SSSE3, a group's
// bytes are read at once. Its tokens' digits are gathered into one vector and
// weighed by their places, and the tokens they stand for are rebuilt from them
// and compared with the bytes, without a branch per token.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/kernels/route.hpp"
#include "engine/text.hpp"

namespace engine {

class TokenVectors {
  public:
    // `digits[d]` is the token of digit d, all of one length; every group
    // that reads as these tokens and the blank must mean its number. Usable
    // on the ssse3 route and above, where the base is 2 or 3, a group of the most
    // tokens and its blank fit in kMostVectors vectors, and one half of one
    // byte tells the tokens apart.
    TokenVectors(const std::vector<std::string>& digits, unsigned char blank, Route route);
    TokenVectors() = default;  // not usable

    bool usable() const { return usable_; }

    // Reads whole groups from `from` on while a window of the group's most
    // bytes remains and `most` characters are not yet written, and stops
    // before anything else: a group that is not its tokens and the blank,
    // one of more tokens than the most, or one whose number is above
    // U+10FFFF or a surrogate. Moves `from` past the last group read, adds
    // to `tokens` and `groups`, and returns the count of characters written
    // to `read`.
    std::size_t read(const unsigned char*& from, const unsigned char* end, CodePoint* read,
                     std::size_t most, std::uint64_t& tokens, std::uint64_t& groups) const;

    static constexpr unsigned kLanes = 16;
    static constexpr std::size_t kMostVectors = 7;  // 112 bytes: monkey's sixteen tokens
    static constexpr std::size_t kRows = 8;         // of 16 bytes: whole rows of 32

    // Constants of the reading, laid out for aligned vector loads.
    struct alignas(16) Tables {
        // Per vector of the window: lane k takes the telling byte of token k
        // if it lies there.
        std::uint8_t gather[kRows][16];
        // Per byte of the window: its token, and its place in the token.
        std::uint8_t token_of_byte[kRows][16];
        std::uint8_t place_in_token[kRows][16];
        std::uint8_t digit_of_half[16];  // the telling half-byte's digit
        std::uint8_t first_byte_of[16];  // digit d's bytes start at d * length
        std::uint8_t token_bytes[16];
        // Per count of tokens: moves the digits to the last lanes, so that
        // every lane has a fixed weight.
        std::uint8_t align[kLanes + 1][16];
        // Weights of neighbouring lanes, pairs, fours and eights.
        std::uint8_t pair_weights[16];
        std::int16_t four_weights[8];
        std::int16_t eight_weights[8];
        std::uint32_t eighth_power;
        // Per byte count: the count of tokens, or kNone where not whole.
        std::uint8_t tokens_in[16 * kRows];
    };
    static constexpr std::uint8_t kNone = 0xFF;

  private:
    Tables tables_{};
    std::size_t vectors_ = 0;  // in the window
    unsigned char blank_ = 0;
    bool high_half_ = false;
    bool usable_ = false;
};

}  // namespace engine
