// Decoding alphabets whose passes act on an encoded text token by token:
// there a reader may take the tokens straight from the bytes, without the
// transducer, and still give exactly what the passes give.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/replace_chain.hpp"

namespace engine {

// A stretch of encoded text, and what the passes make of it alone.
struct Token {
    static constexpr int kBlank = -1;    // whitespace: ends a group
    static constexpr int kNothing = -2;  // leaves no trace
    Text text;
    int meaning;  // a digit value, kBlank or kNothing
};

// Each pattern of the passes and `blank` are the tokens. They are returned
// only where the passes are shown to act token by token: over any
// concatenation of tokens the passes give the concatenation of what they give
// each token alone; and each token alone becomes one ASCII digit of the base,
// whitespace, or nothing. A concatenation that ends with a blank token is
// moreover cut cleanly from any text that follows it. Otherwise (or where
// showing it would take too long) the result is empty.
std::vector<Token> tokens_of(const std::vector<Pass>& passes, std::int64_t base, CodePoint blank);

// What follows a blank, as the passes before this pattern's have left it
// (`blank_now`), cannot complete a match begun before it: no proper start of
// the pattern ends with it, and it does not end with one.
bool cuts_cleanly(const Text& blank_now, const Text& pattern);

}  // namespace engine
