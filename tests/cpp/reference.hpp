// The translation written as plainly as it can be, the truth every route and
// reader is held to: whole-text replacement passes one after another, the
// interpreter's way; for decoding, the text then cut at whitespace into
// groups, each read as int(group, base) and chr() read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/group_reader.hpp"
#include "engine/replace_chain.hpp"

namespace reference {

using engine::CodePoint;
using engine::Pass;
using engine::Text;

// str.replace: leftmost, non-overlapping, scanning on after each
// replacement; an empty pattern goes before every character and at the end.
Text replace_all(const Text& text, const Text& pattern, const Text& replacement);
Text apply_passes(Text text, const std::vector<Pass>& passes);

// The digits of every character in `base`, joined by single blanks, then
// the passes.
Text encode(const Text& input, unsigned base, const std::vector<Pass>& passes);

struct Decoded {
    enum class Stop { none, unreadable, surrogate };
    Text characters;  // of the groups before the one that stopped the reading
    Stop stop = Stop::none;
    engine::GroupProblem problem = engine::GroupProblem::none;
    CodePoint surrogate = 0;
    // The input character the stopping group's first character came from: a
    // replacement's characters come from the first character it replaced.
    std::size_t offset = 0;
};

// `refuse_surrogates`: a lone surrogate stops the reading, as on the command
// line, which cannot write one.
Decoded decode(const Text& input, unsigned base, const std::vector<Pass>& passes,
               bool refuse_surrogates);

bool is_whitespace(CodePoint c);

}  // namespace reference
