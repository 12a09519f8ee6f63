// Groups written in digit tokens of one byte length and ended by a one-byte
// blank, as pigeon and monkey language are: each token is known by one table
// lookup of its bytes, without decoding UTF-8 or stepping the transducer;
// where the tokens are short, a whole group at once (see TokenVectors).
#pragma once

#include <cstddef>
#include <cstdint>

#include <string>
#include <vector>

#include "engine/kernels/route.hpp"
#include "engine/kernels/token_vectors.hpp"
#include "engine/replace_chain.hpp"
#include "engine/text.hpp"

namespace engine {

class TokenGroups {
  public:
    // Usable where the decoding passes act token by token (see tokens_of,
    // with `blank` as a token), every digit token has the same length of at
    // most 8 bytes and the same count of characters, and `blank` becomes
    // whitespace, on the sse2 route and above; from ssse3 on, a whole group
    // is read at once.
    TokenGroups(const std::vector<Pass>& passes, std::int64_t base, unsigned char blank,
                Route route);
    // From the tokens' bytes, `digits[d]` the token of digit d, one byte per
    // character; all of one length below 8 bytes and without 0xFF, so that a
    // run of 0xFF bytes is never a token.
    TokenGroups(const std::vector<std::string>& digits, unsigned char blank, Route route);
    TokenGroups() = default;  // not usable

    // The most bytes a read needs from a group's start: its windows, or a
    // group of 63 tokens of 8 bytes and a load of 8.
    static constexpr std::size_t kMostMargin = 63 * 8 + 8;
    static_assert(16 * TokenVectors::kRows <= kMostMargin, "the windows fit in the margin");

    bool usable() const { return usable_; }

    // The most characters one call writes.
    static constexpr std::size_t kMostRead = 256;

    // Reads whole groups from `from` on, each its digit tokens and the blank,
    // while enough bytes remain for the longest group it reads, and writes
    // their characters to `read`. Stops before a group that is anything else,
    // or whose number is above U+10FFFF or a surrogate, which the long way
    // reports. Moves `from` past the last group read, adds the characters
    // passed over to `characters`, and returns the count written.
    std::size_t read(const unsigned char*& from, const unsigned char* end, CodePoint* read,
                     std::uint64_t& characters) const;

  private:
    struct Slot {
        std::uint64_t key;  // the token's bytes, as loaded and masked
        std::uint64_t digit;
    };
    static constexpr unsigned kSlotBits = 6;
    static constexpr std::uint64_t kNoKey = ~std::uint64_t(0);  // 0xFF is never in UTF-8

    // One token at a time, up to `most` characters.
    std::size_t read_each(const unsigned char*& from, const unsigned char* end, CodePoint* read,
                          std::size_t most, std::uint64_t& characters) const;
    template <unsigned Base>
    std::size_t read_in_base(const unsigned char*& from, const unsigned char* end, CodePoint* read,
                             std::size_t most, std::uint64_t& characters) const;
    const Slot& slot_of(std::uint64_t key) const {
        return slots_[(key * multiplier_) >> (64 - kSlotBits)];
    }
    bool place(const std::uint64_t* keys, const int* digits, std::size_t count);
    // Takes digit tokens of `token_characters_` characters each, tokens[k]
    // meaning digits[k], and the windows where each digit has one token.
    bool take(const std::vector<std::string>& tokens, const std::vector<int>& digits,
              std::int64_t base, Route route);

    Slot slots_[std::size_t(1) << kSlotBits] = {};
    std::uint64_t multiplier_ = 0;
    std::uint64_t mask_ = 0;  // the low `length_` bytes of a load
    std::size_t length_ = 0;  // bytes per digit token
    std::uint64_t token_characters_ = 0;
    std::size_t most_digits_ = 0;  // per group: base ** most_digits_ fits in 63 bits
    std::size_t margin_ = 0;       // bytes needed after a group's start
    unsigned base_ = 0;
    unsigned char blank_ = 0;
    bool usable_ = false;
    TokenVectors vectors_;
};

}  // namespace engine
