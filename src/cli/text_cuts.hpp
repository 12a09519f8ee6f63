// Where a text in a language can be cut so that its parts, decoded one by
// one, give what the whole text decodes to.
#pragma once

#include <vector>

#include "engine/replace_chain.hpp"

namespace cli {

class TextCuts {
  public:
    // An ASCII character qualifies when every pass either leaves it alone
    // (no pattern contains it) or replaces it whole by another such
    // character, and it ends as a blank: no match then spans it, and the
    // group before it is closed.
    explicit TextCuts(const std::vector<engine::Pass>& passes);

    bool any() const;
    // Just past the last such character in [begin, end), or nullptr.
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
