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

// Zeroed memory: its pages cost nothing until touched.
template <typename T>
T* zeroed(std::size_t count) {
    void* memory = std::calloc(count, sizeof(T));
    if (!memory) throw std::bad_alloc();
    return static_cast<T*>(memory);
}

}  // namespace

bool is_whitespace(CodePoint c) {
    if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x1F);
    if (c < 0x85) return false;
    switch (c) {
        case 0x85:
        case 0xA0:
        case 0x1680:
        case 0x2028:
        case 0x2029:
        case 0x202F:
        case 0x205F:
        case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

bool all_patterns_short(const std::vector<Pass>& passes) {
    return std::all_of(passes.begin(), passes.end(),
                       [](const Pass& pass) { return pass.pattern.size() <= 1; });
}

Decoder::Decoder(std::int64_t base, std::vector<Pass> passes)
    : base_(base),
      fast_digit_limit_(base >= 2 && base <= 36 ? std::uint32_t(base < 10 ? base : 10) : 0),
      single_state_(all_patterns_short(passes)),
      chain_(std::move(passes), common_characters()) {
    group_.reserve(64);
    actions_.assign(chain_.symbol_count(), Action{});
    // Zero is Kind::unknown.
    table_.reset(zeroed<Action>(std::size_t(kTableStates) << 16));
    prepare_pairs();
}

void Decoder::FreeTable::operator()(void* table) const {
    std::free(table);
}

void Decoder::prepare_pairs() {
    const std::size_t symbols = chain_.symbol_count();
    if (symbols > kMaxPairSymbols || fast_digit_limit_ == 0) return;
    narrow_symbols_.reset(zeroed<std::uint8_t>(kRowLength));
    for (ReplaceChain::Symbol symbol = 1; symbol < symbols; ++symbol) {
        const CodePoint c = chain_.representative(symbol);
        if (c < kRowLength) narrow_symbols_[c] = std::uint8_t(symbol);
    }
    pair_width_ = symbols;
    pairs_.reset(zeroed<PairAction>(std::size_t(kPairStates) * symbols * symbols));
}

Decoder::PairAction Decoder::describe_pair(std::uint8_t first, std::uint8_t second) {
    PairAction action{};
    action.kind = PairKind::by_character;
    ReplaceChain::Step one, two;
    // A character of no symbol of its own stands for itself in the output.
    if (first == ReplaceChain::kOtherSymbol || second == ReplaceChain::kOtherSymbol ||
        !chain_.step(state_, first, one) || !chain_.step(one.next, second, two) ||
        two.next >= kPairStates)
        return action;
    Text output(chain_.output(one), one.output_length);
    output.append(chain_.output(two), two.output_length);
    const auto is_fast_digit = [this](CodePoint c) { return c - U'0' < fast_digit_limit_; };
    const auto end_of_digits = [&](std::size_t from) {
        while (from < output.size() && is_fast_digit(output[from])) ++from;
        return from;
    };
    const auto read = [&](std::size_t from, std::size_t to, std::uint32_t& value) {
        for (std::size_t k = from; k < to; ++k)
            value = value * std::uint32_t(base_) + (output[k] - U'0');
    };
    const std::size_t digits_end = end_of_digits(0);
    if (digits_end > kMaxRun) return action;
    action.count = std::uint8_t(digits_end);
    action.multiplier = 1;
    for (std::size_t k = 0; k < digits_end; ++k) action.multiplier *= std::uint32_t(base_);
    read(0, digits_end, action.addend);
    action.first_at = one.output_length == 0 ? 1 : 0;
    action.next_row = std::uint32_t(std::size_t(two.next) * pair_width_ * pair_width_);
    if (digits_end == output.size()) {
        action.kind = PairKind::digits;
        return action;
    }
    std::size_t after = digits_end;
    while (after < output.size() && is_whitespace(output[after])) ++after;
    const std::size_t after_end = end_of_digits(after);
    if (after == digits_end || after_end != output.size() || after_end - after > 3) return action;
    action.count_after = std::uint8_t(after_end - after);
    read(after, after_end, action.addend_after);
    action.after_at = after < one.output_length ? 0 : 1;
    action.kind = PairKind::split;
    return action;
}

void Decoder::restart() {
    state_ = ReplaceChain::kStart;
    digits_ = 0;
    value_ = 0;
    position_ = 0;
}

Decoder::Action Decoder::classify(const ReplaceChain::Step& step) const {
    const CodePoint* produced = chain_.output(step);
    const CodePoint* end = produced + step.output_length;
    Action action{std::uint32_t(step.next) << 16, 1, 0, 0, Kind::several};
    const auto is_fast_digit = [this](CodePoint c) { return c - U'0' < fast_digit_limit_; };
    if (step.next >= kTableStates) {
        // Beyond the table: every step goes through the transducer itself.
        action.kind = Kind::general;
    } else if (std::find(produced, end, ReplaceChain::kAnyOther) != end) {
        action.kind = Kind::general;
    } else if (step.output_length <= kMaxRun && std::all_of(produced, end, is_fast_digit)) {
        action.kind = Kind::digits;
        action.count = std::uint8_t(step.output_length);
        for (const CodePoint* c = produced; c != end; ++c) {
            action.multiplier *= std::uint32_t(base_);
            action.addend = action.addend * std::uint32_t(base_) + (*c - U'0');
        }
    } else if (step.output_length == 1 && is_whitespace(produced[0])) {
        action.kind = Kind::blank;
    }
    return action;
}

void Decoder::remember(CodePoint c, const ReplaceChain::Step& step) {
    const Action action = classify(step);
    const std::size_t symbols = chain_.symbol_count();
    const std::size_t needed = (std::size_t(std::max(state_, step.next)) + 1) * symbols;
    if (actions_.size() < needed) actions_.resize(needed, Action{});
    actions_[std::size_t(state_) * symbols + chain_.symbol_of(c)] = action;
    if (c < kRowLength && state_ < kTableStates) table_[std::size_t(state_) << 16 | c] = action;
}

void Decoder::spell_out_group() {
    group_.assign(digits_, U'0');
    std::uint64_t rest = value_;
    for (std::size_t i = digits_; i > 0 && rest != 0; rest /= std::uint64_t(base_))
        group_[--i] = U'0' + CodePoint(rest % std::uint64_t(base_));
    digits_ = kAsText;
}

}  // namespace engine
