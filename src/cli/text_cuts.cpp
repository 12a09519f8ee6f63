#include "text_cuts.hpp"

#include <algorithm>
#include <set>

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

// Whether every pass that can match has a one-character pattern. Before the
// passes the text holds digits and the blanks between groups; a pass can
// match only a pattern made of what the text may hold by then, and adds
// its replacement's characters.
bool matches_one_character_at_a_time(std::int64_t base, const std::vector<engine::Pass>& passes) {
    std::set<engine::CodePoint> held{engine::CodePoint(' ')};
    for (std::int64_t digit = 0; digit < base && digit < 10; ++digit)
        held.insert(engine::CodePoint('0' + digit));
    for (const engine::Pass& pass : passes) {
        const bool can_match = std::all_of(pass.pattern.begin(), pass.pattern.end(),
                                           [&](engine::CodePoint c) { return held.count(c) != 0; });
        if (!can_match) continue;
        if (pass.pattern.size() != 1) return false;
        held.insert(pass.replacement.begin(), pass.replacement.end());
    }
    return true;
}

}  // namespace

TextCuts TextCuts::after_blanks(const std::vector<engine::Pass>& passes) {
    TextCuts cuts;
    for (engine::CodePoint c = 0; c < 0x80; ++c) {
        engine::CodePoint last = 0;
        cuts.cut_after_[c] = survives_alone(c, passes, last) && engine::is_whitespace(last);
    }
    return cuts;
}

TextCuts TextCuts::between_characters(std::int64_t base, const std::vector<engine::Pass>& passes) {
    TextCuts cuts;
    cuts.before_characters_ =
        base >= 2 && base <= 10 && matches_one_character_at_a_time(base, passes);
    return cuts;
}

bool TextCuts::any() const {
    return before_characters_ ||
           std::find(std::begin(cut_after_), std::end(cut_after_), true) != std::end(cut_after_);
}

}  // namespace cli
