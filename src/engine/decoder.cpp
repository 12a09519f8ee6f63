#include "engine/decoder.hpp"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

namespace engine {

namespace {

// Digits and the common blanks get symbols of their own, so that the steps on
// them are known exactly and take the fast path.
Text common_characters() {
    Text characters = U"0123456789 \t\n\r\v\f";
    for (CodePoint c = 0x1C; c <= 0x1F; ++c) characters += c;
    return characters;
}

constexpr std::size_t kRowLength = 0x10000;

}  // namespace

bool is_whitespace(CodePoint c) {
    if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x1F);
    if (c < 0x85) return false;
    switch (c) {
        case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029:
        case 0x202F: case 0x205F: case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

Decoder::Decoder(std::int64_t base, std::vector<Pass> passes)
    : base_(base),
      fast_digit_limit_(base >= 2 && base <= 36 ? std::uint32_t(base < 10 ? base : 10) : 0),
      chain_(std::move(passes), common_characters()) {
    group_.reserve(64);
    actions_.assign(chain_.symbol_count(), Action{0, Kind::unknown, 0});
}

void Decoder::FreeRow::operator()(Action* row) const { std::free(row); }

const Decoder::Action* Decoder::row_for(ReplaceChain::State state) {
    if (rows_.size() <= state) rows_.resize(state + 1);
    if (!rows_[state]) {
        // Zeroed pages cost nothing until touched, and zero is Kind::unknown.
        Action* row = static_cast<Action*>(std::calloc(kRowLength, sizeof(Action)));
        if (!row) throw std::bad_alloc();
        rows_[state].reset(row);
    }
    return rows_[state].get();
}

void Decoder::restart() {
    state_ = ReplaceChain::kStart;
    group_state_.open = false;
    position_ = 0;
}

Decoder::Action Decoder::classify(const ReplaceChain::Step& step) const {
    const CodePoint* produced = chain_.output(step);
    Action action{std::uint16_t(step.next), Kind::several, 0};
    const CodePoint* end = produced + step.output_length;
    if (step.output_length == 0) {
        action.kind = Kind::nothing;
    } else if (std::find(produced, end, ReplaceChain::kAnyOther) != end) {
        action.kind = Kind::general;
    } else if (step.output_length > 1) {
        action.kind = Kind::several;
    } else if (produced[0] - U'0' < fast_digit_limit_) {
        action.kind = Kind::digit;
        action.digit = std::uint8_t(produced[0] - U'0');
    } else if (is_whitespace(produced[0])) {
        action.kind = Kind::blank;
    }
    return action;
}

void Decoder::remember(CodePoint c, const ReplaceChain::Step& step) {
    const Action action = classify(step);
    const std::size_t symbols = chain_.symbol_count();
    const std::size_t needed = (std::size_t(std::max(state_, step.next)) + 1) * symbols;
    if (actions_.size() < needed) actions_.resize(needed, Action{0, Kind::unknown, 0});
    actions_[std::size_t(state_) * symbols + chain_.symbol_of(c)] = action;
    if (c < kRowLength) const_cast<Action*>(row_for(state_))[c] = action;
}

void Decoder::spell_out_group() {
    Group& group = group_state_;
    group_.assign(group.digits, U'0');
    std::uint64_t rest = group.value;
    for (std::size_t i = group.digits; i > 0 && rest != 0; rest /= std::uint64_t(base_))
        group_[--i] = U'0' + CodePoint(rest % std::uint64_t(base_));
    group.as_text = true;
}

}  // namespace engine
