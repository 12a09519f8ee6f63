// Groups in base 2 written with one ASCII byte per digit and blanks between
// them, as bubble language is: read 64 bytes at a time through bit masks, in
// four vectors of 16 bytes, instead of one table step per character.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/decoder.hpp"
#include "engine/kernels/route.hpp"

namespace engine {

class BinaryGroups {
  public:
    // Usable where the alphabet's patterns are one character each, the base
    // is 2, one ASCII byte stands for the digit 1, one for 0, and the given
    // byte is a blank: the one the encoder writes between groups. Other
    // blanks are left to the long way. Usable on the sse2 route and above.
    BinaryGroups() = default;
    BinaryGroups(Decoder& decoder, unsigned char blank, Route route);

    bool usable() const { return usable_; }

    // The most characters one call writes.
    static constexpr std::size_t kMostRead = 256;

    // Reads whole groups from `from` on, while at least 64 bytes remain and
    // every byte is one of its digits or blanks, and writes their characters
    // to `read`. Stops before a group whose number is above U+10FFFF or a
    // surrogate, which the long way reports. Moves `from` past the blank of
    // the last whole group read, adds the characters passed over (one per
    // byte) to `characters`, and returns the count written.
    std::size_t read(const unsigned char*& from, const unsigned char* end, CodePoint* read,
                     std::uint64_t& characters) const;

  private:
    bool usable_ = false;
    unsigned char one_ = 0;
    unsigned char zero_ = 0;
    unsigned char blank_ = 0;
};

}  // namespace engine
