// A row of the language table as the engine takes it: a base and the
// replacement passes in the row's order.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/replace_chain.hpp"
#include "languages/languages.hpp"

namespace languages {

struct Alphabet {
    std::int64_t base;  // entries of numbers_list less one
    std::vector<engine::Pass> passes;
};

// Encoding rows replace the text of each numbers_list entry by its syllable;
// decoding rows replace each syllable by the text of its entry. A digit
// entry's text is its decimal digit, as str() writes it.
Alphabet alphabet_of(const Row& row);

// The code points of a UTF-8 literal from the table.
engine::Text text_of_literal(const char* utf8);

}  // namespace languages
