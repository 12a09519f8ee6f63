#include "engine/encoder.hpp"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

namespace engine {

namespace {

// Pieces of this many digit values at most are memoised per state.
constexpr std::uint32_t kMaxChunkValues = 256;

// The passes see only digits and blanks, and then what earlier replacements
// bring in. A pass whose pattern needs any other character never matches:
// dropping it spares the transducer the states of its matcher.
std::vector<Pass> passes_that_can_match(std::vector<Pass> passes, std::uint64_t base) {
    Text possible = U" ";
    for (std::uint64_t digit = 0; digit < std::min<std::uint64_t>(base, 10); ++digit)
        possible += CodePoint(U'0' + digit);
    const auto is_possible = [&possible](CodePoint c) { return possible.find(c) != Text::npos; };
    std::vector<Pass> kept;
    for (Pass& pass : passes) {
        if (!std::all_of(pass.pattern.begin(), pass.pattern.end(), is_possible)) continue;
        possible += pass.replacement;
        kept.push_back(std::move(pass));
    }
    return kept;
}

}  // namespace

Encoder::Encoder(std::uint64_t base, std::vector<Pass> passes)
    : base_(base), chain_(passes_that_can_match(std::move(passes), base)), chunked_(base <= 10) {
    if (!chunked_) return;
    chunk_digits_ = 0;
    while (chunk_base_ * base <= kMaxChunkValues) {
        chunk_base_ *= std::uint32_t(base);
        ++chunk_digits_;
    }
    chunk_reciprocal_ = (std::uint64_t(1) << 40) / chunk_base_ + 1;
    stride_ = 1 + 2 * std::size_t(chunk_base_);
}

Encoder::Segment* Encoder::new_row() {
    // Zeroed pages cost nothing until touched, and zero means "not met yet".
    void* row = std::calloc(kNarrow, sizeof(Segment));
    if (!row) throw std::bad_alloc();
    segment_rows_[state_].reset(static_cast<Segment*>(row));
    return segment_rows_[state_].get();
}

void Encoder::FreeSegments::operator()(Segment* segments) const {
    std::free(segments);
}

void Encoder::build_segment(std::uint32_t code_point, Segment& segment) {
    const ReplaceChain::State from = state_;
    Text output;
    auto capture = [&](const CodePoint* units, std::size_t n) { output.append(units, n); };
    AsUnits<CodePoint, decltype(capture)> form{*this, capture};
    const bool built = emit_piece(kSeparatorIndex, form) && emit_digits(code_point, form);
    const ReplaceChain::State next = state_;
    state_ = from;
    if (!built) return;
    segment.piece = store(next, output);
    segment.known = 1;
}

Encoder::Piece Encoder::store(std::uint32_t next, const Text& output) {
    Piece piece{next, std::uint32_t(code_points_.size()), std::uint32_t(output.size()),
                0,    std::uint32_t(utf8_.size()),        0};
    piece.max_char = output.empty() ? 0 : *std::max_element(output.begin(), output.end());
    code_points_.append(output.data(), output.size());
    units16_.append(output.data(), output.size());
    units8_.append(output.data(), output.size());
    utf8_.append_utf8(output.data(), output.size());
    piece.utf8_length = std::uint32_t(utf8_.size()) - piece.utf8_offset;
    return piece;
}

Text Encoder::symbols_of_piece(std::uint32_t index) const {
    if (index == kSeparatorIndex) return Text(1, U' ');
    const bool head = index <= chunk_base_;
    std::uint32_t value = head ? index - 1 : index - 1 - chunk_base_;
    Text symbols;
    for (unsigned d = 0; d < chunk_digits_ && (!head || value != 0 || d == 0); ++d) {
        symbols.insert(symbols.begin(), CodePoint(U'0' + value % base_));
        value /= std::uint32_t(base_);
    }
    return symbols;
}

bool Encoder::build_piece(std::uint32_t index) {
    ReplaceChain::State state = state_;
    Text output;
    for (CodePoint c : symbols_of_piece(index)) {
        ReplaceChain::Step step;
        if (!chain_.step(state, chain_.symbol_of(c), step)) return false;
        const CodePoint* produced = chain_.output(step);
        for (std::uint32_t i = 0; i < step.output_length; ++i)
            output += produced[i] == ReplaceChain::kAnyOther ? c : produced[i];
        state = step.next;
    }
    const std::size_t needed = (std::size_t(std::max(state, state_)) + 1) * stride_;
    if (pieces_.size() < needed) pieces_.resize(needed, Piece{kUnknown, 0, 0, 0, 0, 0});
    pieces_[std::size_t(state_) * stride_ + index] = store(state, output);
    return true;
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
