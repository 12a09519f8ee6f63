// Encoding where every pass replaces one character and the base is 2, as
// bubble language's does: the passes then turn each digit and the blank into
// a fixed text, and where each of those is one ASCII byte, a character's
// group is spelt by bit masks, sixteen digits at once, instead of through its
// memoised segment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/replace_chain.hpp"

namespace engine {

class BinarySpelling {
  public:
    BinarySpelling(std::uint64_t base, const std::vector<Pass>& passes);

    bool usable() const { return usable_; }

    // Writes, for each character from the first on, the blank and then its
    // digits, as the encoder does for every character but a text's first,
    // while each fits before `limit` with kReadableBytes to spare (the bytes
    // before `limit` after the last character may be overwritten). Returns
    // the count of characters written and moves `at` past their bytes.
    std::size_t write(const char16_t* text, std::size_t length, char*& at, const char* limit) const;

    // Bytes that may be written past the end of the last spelling.
    static constexpr std::size_t kReadableBytes = 16;

  private:
    unsigned char one_ = 0;
    unsigned char zero_ = 0;
    unsigned char blank_ = 0;
    bool usable_ = false;
};

}  // namespace engine
