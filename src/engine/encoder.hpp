// Encoding: every character becomes the digits of its code point, groups are
// joined by single blanks, and the replacement passes turn digits and blanks
// into syllables. Streams: feed text in pieces, then finish.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/base_digits.hpp"
#include "engine/replace_chain.hpp"

namespace engine {

class Encoder {
  public:
    // `base` must be at least 2.
    Encoder(std::uint64_t base, std::vector<Pass> passes);

    // Starts a new text (the encoder keeps its memoised tables).
    void restart() {
        state_ = ReplaceChain::kStart;
        first_ = true;
    }

    // Sink: void(const CodePoint* chars, std::size_t length, CodePoint max_char).
    // False when the alphabet's transducer outgrows its budget; encode_plain()
    // then gives the result.
    template <typename CharT, typename Sink>
    bool feed(const CharT* text, std::size_t length, Sink& sink) {
        for (std::size_t i = 0; i < length; ++i) {
            if (!feed_one(static_cast<std::uint32_t>(text[i]), sink)) return false;
        }
        return true;
    }

    template <typename Sink>
    bool finish(Sink& sink) {
        ReplaceChain::Step step;
        if (!chain_.finish(state_, step)) return false;
        emit_chain_output(step, ReplaceChain::kAnyOther, sink);
        restart();
        return true;
    }

    // The same result by whole-text passes, for any input and alphabet.
    Text encode_plain(const Text& input) const;

  private:
    struct Piece {
        std::uint32_t next;
        std::uint32_t offset;
        std::uint32_t length;
        CodePoint max_char;
    };
    static constexpr std::uint32_t kUnknown = 0xFFFFFFFF;

    template <typename Sink>
    bool feed_one(std::uint32_t code_point, Sink& sink) {
        if (!first_ && code_point < kNarrow && state_ < kSegmentStates && segment_index_) {
            // A blank and the digits of a character as one memoised segment.
            std::uint32_t& slot = segment_index_[std::size_t(state_) << 16 | code_point];
            if (slot == 0) slot = build_segment(code_point);
            if (slot != 0) {
                const Piece& segment = segments_[slot - 1];
                sink(arena_.data() + segment.offset, segment.length, segment.max_char);
                state_ = segment.next;
                return true;
            }
        }
        if (!first_ && !emit_piece(kSeparatorIndex, sink)) return false;
        first_ = false;
        return emit_digits(code_point, sink);
    }

    template <typename Sink>
    bool emit_digits(std::uint32_t code_point, Sink& sink) {
        if (!chunked_) return feed_digits_one_by_one(code_point, sink);
        // The digits as a head without leading zeros and chunks of exactly
        // chunk_digits_ digits.
        std::uint32_t chunks[24];
        int full_chunks = 0;
        std::uint32_t head = code_point;
        while (head >= chunk_base_) {
            const std::uint32_t quotient = divide_by_chunk_base(head);
            chunks[full_chunks++] = head - quotient * chunk_base_;
            head = quotient;
        }
        if (!emit_piece(1 + head, sink)) return false;
        while (full_chunks > 0) {
            if (!emit_piece(1 + chunk_base_ + chunks[--full_chunks], sink)) return false;
        }
        return true;
    }

    // Exact for every code point: multiply by a rounded-up reciprocal.
    std::uint32_t divide_by_chunk_base(std::uint32_t value) const {
        return std::uint32_t((std::uint64_t(value) * chunk_reciprocal_) >> 40);
    }

    template <typename Sink>
    bool emit_piece(std::uint32_t index, Sink& sink) {
        const std::size_t slot = std::size_t(state_) * stride_ + index;
        if (slot >= pieces_.size() || pieces_[slot].next == kUnknown) {
            if (!build_piece(index)) return false;
        }
        const Piece& piece = pieces_[slot];
        if (piece.length != 0) sink(arena_.data() + piece.offset, piece.length, piece.max_char);
        // Most alphabets stay in one state: a predicted branch instead of a
        // data dependency lets the next lookup start early.
        if (piece.next != state_) state_ = piece.next;
        return true;
    }

    template <typename Sink>
    void emit_chain_output(const ReplaceChain::Step& step, CodePoint input, Sink& sink) {
        scratch_.assign(chain_.output(step), step.output_length);
        for (CodePoint& c : scratch_) {
            if (c == ReplaceChain::kAnyOther) c = input;
        }
        CodePoint max_char = 0;
        for (CodePoint c : scratch_) max_char = c > max_char ? c : max_char;
        if (!scratch_.empty()) sink(scratch_.data(), scratch_.size(), max_char);
    }

    template <typename Sink>
    bool feed_digits_one_by_one(std::uint32_t code_point, Sink& sink) {
        Text digits;
        append_digits(code_point, base_, digits);
        for (CodePoint c : digits) {
            ReplaceChain::Step step;
            if (!chain_.step(state_, chain_.symbol_of(c), step)) return false;
            emit_chain_output(step, c, sink);
            state_ = step.next;
        }
        return true;
    }

    // Per transducer state, `stride_` pieces: the blank, the heads (a value
    // below chunk_base_ without leading zeros), then the full chunks.
    static constexpr std::uint32_t kSeparatorIndex = 0;
    // Segments are memoised for characters up to U+FFFF in the first states.
    static constexpr std::size_t kNarrow = 0x10000;
    static constexpr ReplaceChain::State kSegmentStates = 16;
    struct FreeIndex {
        void operator()(std::uint32_t* index) const;
    };
    // 1 + the index of the new segment in segments_, or 0 when it cannot be built.
    std::uint32_t build_segment(std::uint32_t code_point);
    bool build_piece(std::uint32_t index);
    Text symbols_of_piece(std::uint32_t index) const;

    std::uint64_t base_;
    ReplaceChain chain_;
    bool chunked_;
    unsigned chunk_digits_ = 1;
    std::uint32_t chunk_base_ = 1;  // base ** chunk_digits_
    std::uint64_t chunk_reciprocal_ = 0;
    std::size_t stride_ = 1;
    std::vector<Piece> pieces_;
    // Per state and character: 1 + the index of its segment, or 0 if not met yet.
    std::unique_ptr<std::uint32_t[], FreeIndex> segment_index_;
    std::vector<Piece> segments_;
    std::vector<CodePoint> arena_;
    Text scratch_;
    ReplaceChain::State state_ = ReplaceChain::kStart;
    bool first_ = true;
};

}  // namespace engine
