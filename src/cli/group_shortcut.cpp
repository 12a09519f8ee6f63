#include "cli/group_shortcut.hpp"

#include "engine/decoder.hpp"
#include "requests/language_passes.hpp"

namespace cli {

namespace {

// The one-byte pattern that the decoding passes turn into whitespace, which
// the encoder writes between groups; otherwise the blank the passes leave
// alone. Any byte gives exact results: this one makes groups repeat.
unsigned char cut_of(const languages::Row& row) {
    for (std::size_t k = 0; k < row.size; ++k) {
        const languages::Symbol& symbol = row.numbers_list[k];
        const engine::Text pattern = languages::text_of_literal(row.value_list[k]);
        if (symbol.digit >= 0 || pattern.size() != 1 || pattern[0] >= 0x80) continue;
        const engine::Text replacement = languages::text_of_literal(symbol.text);
        if (replacement.size() == 1 && engine::is_whitespace(replacement[0]))
            return static_cast<unsigned char>(pattern[0]);
    }
    return ' ';
}

}  // namespace

GroupShortcut::GroupShortcut(const languages::Row& row) : cut_(cut_of(row)) {}

}  // namespace cli
