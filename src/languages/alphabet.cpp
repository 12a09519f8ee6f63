#include "languages/alphabet.hpp"

#include <string>

namespace languages {

namespace {

engine::Text text_of_symbol(const Symbol& symbol) {
    if (symbol.digit < 0) return text_of_literal(symbol.text);
    const std::string digits = std::to_string(symbol.digit);
    return engine::Text(digits.begin(), digits.end());
}

}  // namespace

engine::Text text_of_literal(const char* utf8) {
    engine::Text text;
    const auto* byte = reinterpret_cast<const unsigned char*>(utf8);
    while (*byte != 0) {
        const unsigned lead = *byte++;
        const int continuation = lead < 0xC0 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        engine::CodePoint c = continuation == 0 ? lead : lead & (0x3Fu >> continuation);
        for (int k = 0; k < continuation && *byte != 0; ++k) c = c << 6 | (*byte++ & 0x3Fu);
        text += c;
    }
    return text;
}

Alphabet alphabet_of(const Row& row) {
    Alphabet alphabet{std::int64_t(row.size) - 1, {}};
    for (std::size_t x = 0; x < row.size; ++x) {
        engine::Text symbol = text_of_symbol(row.numbers_list[x]);
        engine::Text syllable = text_of_literal(row.value_list[x]);
        if (row.direction == Direction::encode)
            alphabet.passes.push_back({std::move(symbol), std::move(syllable)});
        else
            alphabet.passes.push_back({std::move(syllable), std::move(symbol)});
    }
    return alphabet;
}

}  // namespace languages
