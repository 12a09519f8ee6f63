#include "translation.hpp"

#include <cstdio>
#include <utility>

#include "languages/alphabet.hpp"

namespace cli {

namespace {

// The one-byte pattern that the decoding passes turn into whitespace, which
// the encoder writes between groups; otherwise the blank the passes leave
// alone. The readers of whole groups look for the groups this byte ends.
unsigned char blank_byte_of(const std::vector<engine::Pass>& passes) {
    for (const engine::Pass& pass : passes) {
        if (pass.pattern.size() == 1 && pass.pattern[0] < 0x80 && pass.replacement.size() == 1 &&
            engine::is_whitespace(pass.replacement[0]))
            return static_cast<unsigned char>(pass.pattern[0]);
    }
    return ' ';
}

std::string code_point_text(engine::CodePoint c) {
    char text[16];
    std::snprintf(text, sizeof(text), "U+%04X", unsigned(c));
    return text;
}

std::string problem_text(engine::GroupProblem problem, std::int64_t base) {
    switch (problem) {
        case engine::GroupProblem::too_many_digits:
            return "has more than " + std::to_string(engine::kMaxDigitsOfOtherBases) + " digits";
        case engine::GroupProblem::negative:
            return "is a negative number";
        case engine::GroupProblem::too_large:
            return "is a number above " + code_point_text(engine::kMaxCodePoint);
        default:
            return "is not a number in base " + std::to_string(base);
    }
}

}  // namespace

std::string language_name(const languages::Row& row) {
    return std::string(row.language) + " (" + row.english + ")";
}

std::string describe(const DecodeFailure& failure, std::int64_t base) {
    const std::string group =
        "the group at character offset " + std::to_string(failure.position) + " ";
    switch (failure.kind) {
        case DecodeFailure::Kind::unreadable_group:
            return group + problem_text(failure.problem, base);
        case DecodeFailure::Kind::lone_surrogate:
            return group + "is the lone surrogate " + code_point_text(failure.surrogate) +
                   ", which UTF-8 cannot hold";
        case DecodeFailure::Kind::too_large:
            return "the alphabet's tables outgrew their memory budget";
        default:
            return "no failure";
    }
}

EncodingStream::EncodingStream(const languages::Row& row)
    : EncodingStream(languages::alphabet_of(row)) {}

EncodingStream::EncodingStream(languages::Alphabet alphabet)
    : encoder_(std::uint64_t(alphabet.base), std::move(alphabet.passes)) {}

std::string EncodingStream::failure_text() const {
    return "the alphabet's tables outgrew their memory budget";
}

DecodingStream::DecodingStream(const languages::Row& row, engine::Route route)
    : DecodingStream(languages::alphabet_of(row), language_name(row), route) {}

DecodingStream::DecodingStream(const languages::Alphabet& alphabet, std::string name,
                               engine::Route route)
    : name_(std::move(name)),
      base_(alphabet.base),
      blank_(blank_byte_of(alphabet.passes)),
      decoder_(alphabet.base, alphabet.passes),
      reader_(unsigned(alphabet.base), decoder_, failure_),
      binary_(decoder_, blank_, route),
      tokens_(alphabet.passes, alphabet.base, blank_, route),
      runs_(alphabet.passes, alphabet.base, blank_, route) {
    decoder_.spill_long_groups(&reader_);
    decoder_.refuse_surrogates();
}

std::string DecodingStream::failure_text(std::uint64_t characters_before) const {
    if (failure_.kind == DecodeFailure::Kind::too_large) return describe(failure_, base_);
    DecodeFailure shifted = failure_;
    shifted.position += characters_before;
    return "the text is not in " + name_ + ": " + describe(shifted, base_);
}

}  // namespace cli
