#include "engine/decoder.hpp"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

namespace engine {

namespace {

// The blanks of ordinary text get symbols of their own, so that chunks holding
// them take the fast path. Every other character outside the alphabet still
// decodes exactly, one at a time; few symbols keep the chunk tables small.
Text common_characters() {
    return U" \t\n\r";
}

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
      max_chunk_run_(max_chunk_run(base)),
      single_state_(all_patterns_short(passes)),
      chunk_states_(single_state_ ? 1 : kChunkStates),
      chain_(std::move(passes), common_characters()) {
    group_.reserve(64);
    actions_.assign(chain_.symbol_count(), Action{});
    // Zero is Kind::unknown.
    table_.reset(zeroed<Action>(std::size_t(kTableStates) << 16));
    prepare_chunks();
}

void Decoder::FreeTable::operator()(void* table) const {
    std::free(table);
}

std::size_t Decoder::max_chunk_run(std::int64_t base) {
    std::size_t run = 0;
    for (std::uint64_t power = std::uint64_t(base); base >= 2 && power <= 0xFFFFFFFFu;
         power *= std::uint64_t(base))
        ++run;
    return run;
}

void Decoder::prepare_chunks() {
    const std::size_t symbols = chain_.symbol_count();
    if (symbols > 255 || fast_digit_limit_ == 0) return;
    for (std::size_t length : {std::size_t(4), std::size_t(2)}) {
        std::size_t row = 1;
        for (std::size_t k = 0; k < length; ++k) row *= symbols;
        if (row * chunk_states_ > kChunkEntries) continue;
        chunk_length_ = length;
        chunk_row_ = std::uint32_t(row);
        break;
    }
    if (chunk_length_ == 0) return;
    narrow_symbols_.reset(zeroed<std::uint8_t>(kNarrow));
    chunk_offsets_.reset(zeroed<std::uint32_t>((chunk_length_ - 1) * kNarrow));
    for (ReplaceChain::Symbol symbol = 1; symbol < symbols; ++symbol) {
        const CodePoint c = chain_.representative(symbol);
        if (c >= kNarrow) continue;
        narrow_symbols_[c] = std::uint8_t(symbol);
        std::uint32_t weight = 1;
        for (std::size_t k = chunk_length_ - 1; k-- > 0;) {
            weight *= std::uint32_t(symbols);
            chunk_offsets_[k * kNarrow + c] = symbol * weight;
        }
    }
    chunks_.reset(zeroed<ChunkAction>(std::size_t(chunk_states_) * chunk_row_));
}

Decoder::ChunkAction Decoder::describe_chunk(const std::uint8_t* symbols) {
    ChunkAction action{};
    action.kind = ChunkKind::by_character;
    Text output;
    std::vector<std::uint8_t> made_by;  // which character of the chunk produced each output
    ReplaceChain::State state = state_;
    for (std::size_t k = 0; k < chunk_length_; ++k) {
        ReplaceChain::Step step;
        // A character of no symbol of its own stands for itself in the output.
        if (symbols[k] == ReplaceChain::kOtherSymbol || !chain_.step(state, symbols[k], step))
            return action;
        output.append(chain_.output(step), step.output_length);
        made_by.resize(output.size(), std::uint8_t(k));
        state = step.next;
    }
    if (state >= chunk_states_) return action;
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
    if (digits_end > max_chunk_run_) return action;
    action.count = std::uint8_t(digits_end);
    action.multiplier = 1;
    for (std::size_t k = 0; k < digits_end; ++k) action.multiplier *= std::uint32_t(base_);
    read(0, digits_end, action.addend);
    action.start_at = digits_end != 0 ? made_by[0] : 0;
    action.next_row = std::uint32_t(state) * chunk_row_;
    if (digits_end == output.size()) {
        action.kind = ChunkKind::digits;
        action.keeps_group = 1;
        return action;
    }
    std::size_t after = digits_end;
    while (after < output.size() && is_whitespace(output[after])) ++after;
    const std::size_t after_end = end_of_digits(after);
    if (after == digits_end || after_end != output.size() || after_end - after > 3) return action;
    action.count_after = std::uint8_t(after_end - after);
    read(after, after_end, action.addend_after);
    action.start_at = after < output.size() ? made_by[after] : 0;
    action.kind = ChunkKind::split;
    return action;
}

template <std::size_t N, bool SingleState, typename CharT>
bool Decoder::scan_chunks(const CharT* text, std::size_t length, ChunkScan& scan) const {
    const ChunkAction* const chunks = chunks_.get();
    const std::uint8_t* const symbols = narrow_symbols_.get();
    const std::uint32_t* const offsets = chunk_offsets_.get();
    std::size_t at = scan.at;
    std::uint32_t row = scan.row;
    std::uint64_t value = scan.value;
    std::size_t digits = scan.digits;
    std::uint64_t start = scan.start;
    std::size_t pending = scan.pending;
    const std::size_t max_digits = max_fast_digits_;
    bool plain = true;
    for (; length - at >= N && pending < kPending; at += N) {
        const ChunkAction& action = chunks[row + index_in_row<N>(text + at, symbols, offsets)];
        const std::uint64_t next = value * action.multiplier + action.addend;
        const std::size_t count = digits + action.count;
        if (!is_plain(action.kind) || next > kMaxCodePoint || count > max_digits) {
            plain = false;
            break;
        }
        // Groups end at no predictable chunk, so the two kinds are told apart
        // by masks, not branches: `keep` is all ones unless the group ends
        // here, `opens` unless no group starts here.
        const std::uint64_t keep = std::uint64_t(0) - action.keeps_group;
        const std::uint64_t opens = ~keep | (std::uint64_t(0) - std::uint64_t(digits == 0));
        scan.decoded[pending] = CodePoint(next);
        pending += std::size_t(~keep & std::uint64_t(count != 0));
        start = (start & ~opens) | ((at + action.start_at) & opens);
        value = (next & keep) + action.addend_after;
        digits = (count & std::size_t(keep)) + action.count_after;
        if (!SingleState) row = action.next_row;
    }
    scan.at = at;
    scan.row = row;
    scan.value = value;
    scan.digits = digits;
    scan.start = start;
    scan.pending = pending;
    return plain;
}

// The character types the callers feed, for chunks of 2 and 4, with and
// without transducer states.
#define MIRELO_SCAN_CHUNKS(N, CharT)                                                           \
    template bool Decoder::scan_chunks<N, true, CharT>(const CharT*, std::size_t, ChunkScan&)  \
        const;                                                                                 \
    template bool Decoder::scan_chunks<N, false, CharT>(const CharT*, std::size_t, ChunkScan&) \
        const;
MIRELO_SCAN_CHUNKS(2, std::uint8_t)
MIRELO_SCAN_CHUNKS(4, std::uint8_t)
MIRELO_SCAN_CHUNKS(2, std::uint16_t)
MIRELO_SCAN_CHUNKS(4, std::uint16_t)
MIRELO_SCAN_CHUNKS(2, char16_t)
MIRELO_SCAN_CHUNKS(4, char16_t)
#undef MIRELO_SCAN_CHUNKS

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
    if (c < kNarrow && state_ < kTableStates) table_[std::size_t(state_) << 16 | c] = action;
}

void Decoder::spell_out_group() {
    Text significant;
    for (std::uint64_t rest = value_; rest != 0; rest /= std::uint64_t(base_))
        significant.insert(significant.begin(), U'0' + CodePoint(rest % std::uint64_t(base_)));
    // Leading zeros of a group of any length: in spills where there is one.
    std::size_t zeros = digits_ - significant.size();
    while (spill_ && zeros > kSpillLength) {
        group_.assign(kSpillLength, U'0');
        spill_->spill(group_);
        zeros -= kSpillLength;
    }
    group_.assign(zeros, U'0');
    group_ += significant;
    digits_ = kAsText;
}

}  // namespace engine
