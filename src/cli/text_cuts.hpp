// Where an encoded text can be cut so that its parts, decoded one by one,
// give what the whole text decodes to.
#pragma once

#include <vector>

#include "engine/replace_chain.hpp"

namespace cli {

class TextCuts {
  public:
    // After an ASCII character that every decoding pass either leaves alone
    // (no pattern contains it) or replaces whole by another such character,
    // and that ends as a blank: no match then spans it, and the group before
    // it is closed.
    explicit TextCuts(const std::vector<engine::Pass>& passes);

    bool any() const;
    // The last cut in [begin + 1, end] of UTF-8 text, or nullptr.
    const unsigned char* last_cut(const unsigned char* begin, const unsigned char* end) const {
        for (const unsigned char* p = end; p != begin; --p) {
            if (p[-1] < 0x80 && cut_after_[p[-1]]) return p;
        }
        return nullptr;
    }

  private:
    bool cut_after_[0x80] = {};
};

}  // namespace cli
