#include "translation.hpp"

#include <cstdio>

#include "languages/alphabet.hpp"

namespace cli {

namespace {

engine::Encoder encoder_of(const languages::Row& row) {
    languages::Alphabet alphabet = languages::alphabet_of(row);
    return engine::Encoder(std::uint64_t(alphabet.base), std::move(alphabet.passes));
}

engine::Decoder decoder_of(const languages::Row& row) {
    languages::Alphabet alphabet = languages::alphabet_of(row);
    return engine::Decoder(alphabet.base, std::move(alphabet.passes));
}

// The one-byte pattern that the decoding passes turn into whitespace, which
// the encoder writes between groups; otherwise the blank the passes leave
// alone. The readers of whole groups look for the groups this byte ends.
unsigned char blank_byte_of(const languages::Row& row) {
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

std::string code_point_text(engine::CodePoint c) {
    char text[16];
    std::snprintf(text, sizeof(text), "U+%04X", unsigned(c));
    return text;
}

std::string problem_text(engine::GroupProblem problem, const languages::Row& row) {
    switch (problem) {
        case engine::GroupProblem::too_many_digits:
            return "has more than " + std::to_string(engine::kMaxDigitsOfOtherBases) + " digits";
        case engine::GroupProblem::negative:
            return "is a negative number";
        case engine::GroupProblem::too_large:
            return "is a number above " + code_point_text(engine::kMaxCodePoint);
        default:
            return "is not a number in base " + std::to_string(row.size - 1);
    }
}

}  // namespace

std::string language_name(const languages::Row& row) {
    return std::string(row.language) + " (" + row.english + ")";
}

std::string describe(const DecodeFailure& failure, const languages::Row& row) {
    const std::string group =
        "the group at character offset " + std::to_string(failure.position) + " ";
    switch (failure.kind) {
        case DecodeFailure::Kind::unreadable_group:
            return group + problem_text(failure.problem, row);
        case DecodeFailure::Kind::lone_surrogate:
            return group + "is the lone surrogate " + code_point_text(failure.surrogate) +
                   ", which UTF-8 cannot hold";
        case DecodeFailure::Kind::too_large:
            return "the alphabet's tables outgrew their memory budget";
        default:
            return "no failure";
    }
}

EncodingStream::EncodingStream(const languages::Row& row) : encoder_(encoder_of(row)) {}

std::string EncodingStream::failure_text() const {
    return "the alphabet's tables outgrew their memory budget";
}

DecodingStream::DecodingStream(const languages::Row& row, engine::Route route)
    : row_(row),
      blank_(blank_byte_of(row)),
      decoder_(decoder_of(row)),
      reader_(unsigned(row.size - 1), decoder_, failure_),
      binary_(decoder_, blank_, route),
      tokens_(languages::alphabet_of(row).passes, row.size - 1, blank_, route),
      runs_(languages::alphabet_of(row).passes, row.size - 1, blank_, route) {
    decoder_.spill_long_groups(&reader_);
    decoder_.refuse_surrogates();
}

std::string DecodingStream::failure_text(std::uint64_t characters_before) const {
    if (failure_.kind == DecodeFailure::Kind::too_large) return describe(failure_, row_);
    DecodeFailure shifted = failure_;
    shifted.position += characters_before;
    return "the text is not in " + language_name(row_) + ": " + describe(shifted, row_);
}

}  // namespace cli
