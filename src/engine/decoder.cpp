#include "engine/decoder.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace engine {

namespace {

// The blanks of ordinary text get symbols of their own, so that their steps
// are known without the character and take the table's fast path. Every other
// character outside the alphabet still decodes exactly, through the passes.
Text common_characters() {
    return U" \t\n\r";
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

bool is_blank_text(const Text& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), is_whitespace);
}

bool all_patterns_short(const std::vector<Pass>& passes) {
    return std::all_of(passes.begin(), passes.end(),
                       [](const Pass& pass) { return pass.pattern.size() <= 1; });
}

Decoder::Decoder(std::int64_t base, std::vector<Pass> passes)
    : base_(base),
      fast_digit_limit_(base >= 2 && base <= 36 ? std::uint32_t(base < 10 ? base : 10) : 0),
      max_fast_digits_(max_fast_digits(base)),
      single_state_(all_patterns_short(passes)),
      chain_(std::move(passes), common_characters()) {
    group_.reserve(64);
    actions_.assign(chain_.symbol_count(), Action{});
    // Zero is Kind::unknown.
    add_table_rows(1);
}

int Decoder::meaning_alone(CodePoint c) {
    ReplaceChain::Step step;
    if (!single_state_ || !chain_.step(ReplaceChain::kStart, chain_.symbol_of(c), step) ||
        step.output_length != 1)
        return kOther;
    CodePoint output = chain_.output(step)[0];
    if (output == ReplaceChain::kAnyOther) output = c;
    if (output - U'0' < fast_digit_limit_) return int(output - U'0');
    return is_whitespace(output) ? kBlank : kOther;
}

void Decoder::restart() {
    now_ = Progress();
    refused_ = 0;
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
    const std::size_t needed = (std::size_t(std::max(now_.state, step.next)) + 1) * symbols;
    if (actions_.size() < needed) actions_.resize(needed, Action{});
    actions_[std::size_t(now_.state) * symbols + chain_.symbol_of(c)] = action;
    // The next state's row, so that the table's loop may step into it or
    // start there, however the step was taken: a wide character's step
    // leads into the next piece of narrow text.
    if (step.next < kTableStates && step.next >= table_rows_) add_table_rows(step.next + 1u);
    if (c >= kNarrow || now_.state >= kTableStates) return;
    table_[std::size_t(now_.state) << 16 | c] = action;
}

void Decoder::FreeTable::operator()(Action* table) const {
    std::free(table);
}

// Fresh zeroed memory costs nothing until touched; a row added later is
// cleared by hand.
void Decoder::add_table_rows(std::size_t rows) {
    const std::size_t before = table_rows_ * kNarrow, after = rows * kNarrow;
    void* const grown = before == 0 ? std::calloc(after, sizeof(Action))
                                    : std::realloc(table_.get(), after * sizeof(Action));
    if (!grown) throw std::bad_alloc();
    static_cast<void>(table_.release());
    table_.reset(static_cast<Action*>(grown));
    if (before != 0)
        std::memset(static_cast<void*>(table_.get() + before), 0,
                    (after - before) * sizeof(Action));
    table_rows_ = rows;
}

void Decoder::spell_out_group() {
    Text significant;
    for (std::uint64_t rest = now_.value; rest != 0; rest /= std::uint64_t(base_))
        significant.insert(significant.begin(), U'0' + CodePoint(rest % std::uint64_t(base_)));
    // Leading zeros of a group of any length: in spills where there is one.
    std::size_t zeros = now_.digits - significant.size();
    while (spill_ && zeros > kSpillLength) {
        group_.assign(kSpillLength, U'0');
        spill_->spill(group_);
        zeros -= kSpillLength;
    }
    group_.assign(zeros, U'0');
    group_ += significant;
    now_.digits = kAsText;
}

}  // namespace engine
