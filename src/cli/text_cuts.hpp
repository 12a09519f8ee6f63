// Where a text can be cut so that its parts, translated one by one, give
// what the whole text translates to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/replace_chain.hpp"

namespace cli {

class TextCuts {
  public:
    // For decoding: after an ASCII character that every pass either leaves
    // alone (no pattern contains it) or replaces whole by another such
    // character, and that ends as a blank: no match then spans it, and the
    // group before it is closed.
    static TextCuts after_blanks(const std::vector<engine::Pass>& passes);
    // For encoding in `base`: between two characters, where every pattern
    // that can ever match is one character long, so that each character is
    // written on its own. Never after the start of a sequence its bytes do
    // not complete: what is wrong with it may be the byte that follows.
    static TextCuts between_characters(std::int64_t base, const std::vector<engine::Pass>& passes);

    bool any() const;
    // The last cut in [begin + 1, end] of UTF-8 text, or nullptr.
    const unsigned char* last_cut(const unsigned char* begin, const unsigned char* end) const {
        if (before_characters_) {
            for (const unsigned char* p = end - 1; p > begin; --p) {
                if (!is_continuation(*p) && !ends_inside_sequence(begin, p)) return p;
            }
            return nullptr;
        }
        for (const unsigned char* p = end; p != begin; --p) {
            if (p[-1] < 0x80 && cut_after_[p[-1]]) return p;
        }
        return nullptr;
    }

  private:
    static bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }
    // Whether the bytes before `p` end with a lead byte and fewer
    // continuation bytes than it announces.
    static bool ends_inside_sequence(const unsigned char* begin, const unsigned char* p) {
        for (std::size_t k = 1; k <= 3 && std::size_t(p - begin) >= k; ++k) {
            const unsigned char byte = p[-std::ptrdiff_t(k)];
            if (is_continuation(byte)) continue;
            const std::size_t announced = byte < 0xC0 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
            return announced > k;
        }
        return false;
    }

    bool before_characters_ = false;
    bool cut_after_[0x80] = {};
};

}  // namespace cli
