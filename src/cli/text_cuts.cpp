#include "text_cuts.hpp"

#include <algorithm>

#include "engine/decoder.hpp"

namespace cli {

namespace {

// Follows the character through the passes: false when a pattern could take
// it together with its neighbours, else `last` is what it ends as.
bool survives_alone(engine::CodePoint c, const std::vector<engine::Pass>& passes,
                    engine::CodePoint& last) {
    for (const engine::Pass& pass : passes) {
        const engine::Text& pattern = pass.pattern;
        if (pattern.size() == 1 && pattern[0] == c) {
            if (pass.replacement.size() != 1) return false;
            c = pass.replacement[0];
        } else if (std::find(pattern.begin(), pattern.end(), c) != pattern.end()) {
            return false;
        }
    }
    last = c;
    return true;
}

}  // namespace

TextCuts::TextCuts(const std::vector<engine::Pass>& passes) {
    for (engine::CodePoint c = 0; c < 0x80; ++c) {
        engine::CodePoint last = 0;
        cut_after_[c] = survives_alone(c, passes, last) && engine::is_whitespace(last);
    }
}

bool TextCuts::any() const {
    return std::find(std::begin(cut_after_), std::end(cut_after_), true) != std::end(cut_after_);
}

}  // namespace cli
