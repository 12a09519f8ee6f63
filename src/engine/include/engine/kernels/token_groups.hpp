// Groups written in digit tokens of one byte length and ended by a one-byte
// blank, as pigeon and monkey language are, read straight from UTF-8: each
// group's bytes at once, through token windows (see TokenVectors), without
// decoding UTF-8 or stepping the transducer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/kernels/route.hpp"
#include "engine/kernels/token_vectors.hpp"
#include "engine/replace_chain.hpp"
#include "engine/text.hpp"

namespace engine {

class TokenGroups {
  public:
    // Usable where the decoding passes act token by token (see tokens_of,
    // with `blank` as a token), `blank` becomes whitespace, there is a digit
    // token for each digit of the base, all of one length in bytes and in
    // characters, and the token windows read them (on the ssse3 route).
    TokenGroups(const std::vector<Pass>& passes, std::int64_t base, unsigned char blank,
                Route route);

    bool usable() const { return vectors_.usable(); }

    // The most characters one call writes.
    static constexpr std::size_t kMostRead = 256;

    // Reads whole groups from `from` on (see TokenVectors::read), moves
    // `from` past the last group read, adds the characters passed over to
    // `characters`, and returns the count written to `read`.
    std::size_t read(const unsigned char*& from, const unsigned char* end, CodePoint* read,
                     std::uint64_t& characters) const;

  private:
    std::uint64_t token_characters_ = 0;
    TokenVectors vectors_;
};

}  // namespace engine
