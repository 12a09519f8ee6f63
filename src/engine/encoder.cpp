#include "engine/encoder.hpp"

#include <algorithm>
#include <utility>

namespace engine {

namespace {

// Pieces of this many digit values at most are memoised per state.
constexpr std::uint32_t kMaxChunkValues = 256;

}  // namespace

Encoder::Encoder(std::uint64_t base, std::vector<Pass> passes)
    : base_(base), chain_(std::move(passes)), chunked_(base <= 10) {
    if (!chunked_) return;
    power_.push_back(1);
    while (power_.back() * base <= kMaxChunkValues) power_.push_back(power_.back() * std::uint32_t(base));
    chunk_digits_ = unsigned(power_.size() - 1);
    first_index_.assign(chunk_digits_ + 1, 0);
    for (unsigned h = 1; h < chunk_digits_; ++h) first_index_[h + 1] = first_index_[h] + power_[h];
}

bool Encoder::build_piece(const Text& symbols, Piece& piece) {
    Text output;
    for (CodePoint c : symbols) {
        ReplaceChain::Step step;
        if (!chain_.step(state_, chain_.symbol_of(c), step)) return false;
        const CodePoint* produced = chain_.output(step);
        for (std::uint32_t i = 0; i < step.output_length; ++i)
            output += produced[i] == ReplaceChain::kAnyOther ? c : produced[i];
        state_ = step.next;
    }
    piece.next = state_;
    piece.offset = std::uint32_t(arena_.size());
    piece.length = std::uint32_t(output.size());
    piece.max_char = output.empty() ? 0 : *std::max_element(output.begin(), output.end());
    arena_.insert(arena_.end(), output.begin(), output.end());
    return true;
}

const Encoder::Piece* Encoder::separator_piece() {
    if (separators_.size() <= state_) separators_.resize(state_ + 1, Piece{kUnknown, 0, 0, 0});
    if (separators_[state_].next == kUnknown) {
        const ReplaceChain::State from = state_;
        Piece piece{};
        const bool built = build_piece(Text(1, U' '), piece);
        state_ = from;
        if (!built) return nullptr;
        separators_[from] = piece;
    }
    return &separators_[state_];
}

const Encoder::Piece* Encoder::chunk_piece(unsigned digits, std::uint32_t value) {
    if (chunk_tables_.size() <= state_) chunk_tables_.resize(state_ + 1);
    std::vector<Piece>& table = chunk_tables_[state_];
    if (table.empty()) table.assign(first_index_[chunk_digits_] + power_[chunk_digits_], Piece{kUnknown, 0, 0, 0});
    const std::uint32_t index = first_index_[digits] + value;
    if (table[index].next == kUnknown) {
        Text symbols(digits, U'0');
        for (std::uint32_t rest = value, d = digits; d > 0; rest /= std::uint32_t(base_))
            symbols[--d] = U'0' + CodePoint(rest % base_);
        const ReplaceChain::State from = state_;
        Piece piece{};
        const bool built = build_piece(symbols, piece);
        state_ = from;
        if (!built) return nullptr;
        chunk_tables_[from][index] = piece;
    }
    return &chunk_tables_[state_][index];
}

Text Encoder::encode_plain(const Text& input) const {
    Text joined;
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (i != 0) joined += U' ';
        append_digits(input[i], base_, joined);
    }
    return chain_.apply_all(joined);
}

}  // namespace engine
