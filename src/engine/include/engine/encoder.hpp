// Encoding: every character becomes the digits of its code point, groups are
// joined by single blanks, and the replacement passes turn digits and blanks
// into syllables. Streams: feed text in pieces, then finish.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/base_digits.hpp"
#include "engine/block_copy.hpp"
#include "engine/padded_units.hpp"
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

    // Goes on as if some characters had been encoded already: where every
    // pattern is one character long, what follows is written as it would be
    // after them, whatever they were.
    void restart_after_first() {
        state_ = ReplaceChain::kStart;
        first_ = false;
    }

    // The sinks of the forms below may read at least this many bytes past the
    // end of what they are given, so that they can copy in blocks of that size.
    static constexpr std::size_t kReadableBytes = 64;
    static_assert(PaddedUnits<std::uint8_t>::kPadding >= kReadableBytes, "padding covers a block");

    // Feeds text in the code units of a string kind wide enough for every
    // character of the result: std::uint8_t, std::uint16_t or CodePoint.
    // UnitSink: void(const Unit* units, std::size_t length). False when the
    // alphabet's transducer outgrows its budget; encode_plain() then gives
    // the result.
    template <typename Unit, typename CharT, typename UnitSink>
    bool feed_units(const CharT* text, std::size_t length, UnitSink& sink) {
        AsUnits<Unit, UnitSink> form{*this, sink};
        return feed_in(text, length, form);
    }
    template <typename Unit, typename UnitSink>
    bool finish_units(UnitSink& sink) {
        AsUnits<Unit, UnitSink> form{*this, sink};
        return finish_in(form);
    }

    // The same as UTF-8, from pieces memoised in that form.
    // ByteSink: void(const char* bytes, std::size_t length).
    template <typename CharT, typename ByteSink>
    bool feed_utf8(const CharT* text, std::size_t length, ByteSink& sink) {
        AsUtf8<ByteSink> form{*this, sink};
        return feed_in(text, length, form);
    }
    template <typename ByteSink>
    bool finish_utf8(ByteSink& sink) {
        AsUtf8<ByteSink> form{*this, sink};
        return finish_in(form);
    }

    // The fast part of feed_utf8: writes the known segments of characters up
    // to U+FFFF straight to `at`, while each fits before `limit` with
    // kReadableBytes to spare, and stops at the first character that needs
    // more (a segment not met yet, a wider character, the first character of
    // the text, a full window). Returns the count of characters encoded and
    // moves `at` past their bytes.
    template <typename CharT>
    std::size_t feed_utf8_into(const CharT* text, std::size_t length, char*& at,
                               const char* limit) {
        return write_known(text, length, at, limit, utf8_.data(), [](const Piece& piece) {
            return Placed{piece.utf8_offset, piece.utf8_length};
        });
    }
    // The same in code units (see feed_units).
    template <typename Unit, typename CharT>
    std::size_t feed_units_into(const CharT* text, std::size_t length, Unit*& at,
                                const Unit* limit) {
        return write_known(text, length, at, limit, arena<Unit>().data(), [](const Piece& piece) {
            return Placed{piece.offset, piece.length};
        });
    }
    // The same, adding up the code points the segments hold and their largest
    // character instead of writing them.
    template <typename CharT>
    std::size_t measure_into(const CharT* text, std::size_t length, std::size_t& count,
                             CodePoint& max_char) {
        std::size_t total = count;
        CodePoint largest = max_char;
        const std::size_t done = take_known(text, length, [&](const Piece& piece) {
            total += piece.length;
            largest = std::max(largest, piece.max_char);
            return true;
        });
        count = total;
        max_char = largest;
        return done;
    }

    // Runs `fast` (one of the *_into functions above, bound to its output)
    // over the text, and `one`, the general path, on each character where it
    // stops; false when `one` fails.
    template <typename CharT, typename Fast, typename One>
    static bool fast_then_one(const CharT* text, std::size_t length, Fast fast, One one) {
        for (;;) {
            const std::size_t done = fast(text, length);
            text += done;
            length -= done;
            if (length == 0) return true;
            if (!one(text)) return false;
            ++text;
            --length;
        }
    }

    // The same result by whole-text passes, for any input and alphabet.
    Text encode_plain(const Text& input) const;

  private:
    struct Piece {
        std::uint32_t next;
        std::uint32_t offset;
        std::uint32_t length;
        CodePoint max_char;
        std::uint32_t utf8_offset;
        std::uint32_t utf8_length;
    };
    static constexpr std::uint32_t kUnknown = 0xFFFFFFFF;

    // The forms of output: a form takes memoised pieces and, rarely,
    // characters made on the spot.
    template <typename Unit, typename UnitSink>
    struct AsUnits {
        Encoder& encoder;
        UnitSink& sink;
        void piece(const Piece& p) {
            if (p.length != 0) sink(encoder.arena<Unit>().data() + p.offset, p.length);
        }
        // In pieces of at most one block, each followed by a block of zeros.
        static constexpr std::size_t kBlockUnits = kReadableBytes / sizeof(Unit);
        void chars(const CodePoint* c, std::size_t n) {
            Unit units[2 * kBlockUnits] = {};
            for (std::size_t at = 0; at < n; at += kBlockUnits) {
                const std::size_t count = std::min(n - at, kBlockUnits);
                for (std::size_t i = 0; i < count; ++i) units[i] = static_cast<Unit>(c[at + i]);
                sink(units, count);
            }
        }
    };
    template <typename ByteSink>
    struct AsUtf8 {
        Encoder& encoder;
        ByteSink& sink;
        void piece(const Piece& p) {
            if (p.utf8_length != 0) sink(encoder.utf8_.data() + p.utf8_offset, p.utf8_length);
        }
        void chars(const CodePoint* c, std::size_t n) {
            PaddedUnits<char>& bytes = encoder.utf8_scratch_;
            bytes.clear();
            bytes.append_utf8(c, n);
            if (bytes.size() != 0) sink(bytes.data(), bytes.size());
        }
    };

    template <typename CharT, typename Form>
    bool feed_in(const CharT* text, std::size_t length, Form& form) {
        for (std::size_t i = 0; i < length; ++i) {
            if (!feed_one(static_cast<std::uint32_t>(text[i]), form)) return false;
        }
        return true;
    }

    template <typename Form>
    bool finish_in(Form& form) {
        ReplaceChain::Step step;
        if (!chain_.finish(state_, step)) return false;
        emit_chain_output(step, ReplaceChain::kAnyOther, form);
        restart();
        return true;
    }

    template <typename Form>
    bool feed_one(std::uint32_t code_point, Form& form) {
        if (!first_ && code_point < kNarrow && state_ < kSegmentStates && chunked_) {
            // A blank and the digits of a character as one memoised segment.
            Segment* const row = segment_rows_[state_] ? segment_rows_[state_].get() : new_row();
            Segment& segment = row[code_point];
            if (!segment.known) build_segment(code_point, segment);
            if (segment.known) {
                form.piece(segment.piece);
                stay_or_move(segment.piece.next);
                return true;
            }
        }
        if (!first_ && !emit_piece(kSeparatorIndex, form)) return false;
        first_ = false;
        return emit_digits(code_point, form);
    }

    template <typename Form>
    bool emit_digits(std::uint32_t code_point, Form& form) {
        if (!chunked_) return feed_digits_one_by_one(code_point, form);
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
        if (!emit_piece(1 + head, form)) return false;
        while (full_chunks > 0) {
            if (!emit_piece(1 + chunk_base_ + chunks[--full_chunks], form)) return false;
        }
        return true;
    }

    // Exact for every code point: multiply by a rounded-up reciprocal.
    std::uint32_t divide_by_chunk_base(std::uint32_t value) const {
        return std::uint32_t((std::uint64_t(value) * chunk_reciprocal_) >> 40);
    }

    template <typename Form>
    bool emit_piece(std::uint32_t index, Form& form) {
        const std::size_t slot = std::size_t(state_) * stride_ + index;
        if (slot >= pieces_.size() || pieces_[slot].next == kUnknown) {
            if (!build_piece(index)) return false;
        }
        const Piece& piece = pieces_[slot];
        form.piece(piece);
        stay_or_move(piece.next);
        return true;
    }

    // Most alphabets stay in one state: a predicted branch instead of a data
    // dependency lets the next lookup start before this one has finished.
    void stay_or_move(ReplaceChain::State next) {
        if (next != state_) state_ = next;
    }

    template <typename Form>
    void emit_chain_output(const ReplaceChain::Step& step, CodePoint input, Form& form) {
        scratch_.assign(chain_.output(step), step.output_length);
        for (CodePoint& c : scratch_) {
            if (c == ReplaceChain::kAnyOther) c = input;
        }
        form.chars(scratch_.data(), scratch_.size());
    }

    template <typename Form>
    bool feed_digits_one_by_one(std::uint32_t code_point, Form& form) {
        Text digits;
        append_digits(code_point, base_, digits);
        for (CodePoint c : digits) {
            ReplaceChain::Step step;
            if (!chain_.step(state_, chain_.symbol_of(c), step)) return false;
            emit_chain_output(step, c, form);
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
    // A segment lies in the index itself, so that its output is one lookup
    // away; all zeros means "not met yet" (or "cannot be built").
    struct Segment {
        Piece piece;
        std::uint32_t known;
        std::uint32_t spare;  // 32 bytes: no segment straddles two cache lines
    };
    struct FreeSegments {
        void operator()(Segment* segments) const;
    };
    // Where a piece lies in one of the stores, in its units.
    struct Placed {
        std::uint32_t offset;
        std::uint32_t length;
    };

    // Copies the known segments' units in whole blocks while each fits before
    // `limit` with a block to spare.
    template <typename Unit, typename CharT, typename Place>
    std::size_t write_known(const CharT* text, std::size_t length, Unit*& at, const Unit* limit,
                            const Unit* units, Place place) {
        constexpr std::size_t kBlockUnits = kReadableBytes / sizeof(Unit);
        Unit* out = at;
        const std::size_t done = take_known(text, length, [&](const Piece& piece) {
            const Placed placed = place(piece);
            if (std::size_t(limit - out) < placed.length + kBlockUnits) return false;
            copy_in_blocks<kReadableBytes>(out, units + placed.offset, placed.length);
            out += placed.length;
            return true;
        });
        at = out;
        return done;
    }

    // Hands the known segments of characters up to U+FFFF, from the current
    // state on, to `take`, which returns false to stop before one. Everything
    // the loop needs lives in locals: what `take` writes may alias any member.
    template <typename CharT, typename Take>
    std::size_t take_known(const CharT* text, std::size_t length, Take take) {
        if (first_ || !chunked_) return 0;
        ReplaceChain::State state = state_;
        const Segment* row = known_row(state);
        std::size_t i = 0;
        for (; i < length && row != nullptr; ++i) {
            const std::uint32_t code_point = static_cast<std::uint32_t>(text[i]);
            if (code_point >= kNarrow) break;
            const Segment& segment = row[code_point];
            if (!segment.known || !take(segment.piece)) break;
            if (segment.piece.next != state) {
                state = segment.piece.next;
                row = known_row(state);
            }
        }
        state_ = state;
        return i;
    }

    const Segment* known_row(ReplaceChain::State state) const {
        return state < kSegmentStates ? segment_rows_[state].get() : nullptr;
    }
    // The row of segments for the current state, made on its first use.
    Segment* new_row();
    // Fills in `segment`, unless the transducer outgrows its budget.
    void build_segment(std::uint32_t code_point, Segment& segment);
    bool build_piece(std::uint32_t index);
    // Stores a piece's output in every form.
    Piece store(std::uint32_t next, const Text& output);
    Text symbols_of_piece(std::uint32_t index) const;

    std::uint64_t base_;
    ReplaceChain chain_;
    bool chunked_;
    unsigned chunk_digits_ = 1;
    std::uint32_t chunk_base_ = 1;  // base ** chunk_digits_
    std::uint64_t chunk_reciprocal_ = 0;
    std::size_t stride_ = 1;
    std::vector<Piece> pieces_;
    // Per state, per character below kNarrow.
    std::unique_ptr<Segment[], FreeSegments> segment_rows_[kSegmentStates];
    // Every piece and segment in each width of code unit, at the same offsets.
    PaddedUnits<CodePoint> code_points_;
    PaddedUnits<std::uint16_t> units16_;
    PaddedUnits<std::uint8_t> units8_;
    template <typename Unit>
    const PaddedUnits<Unit>& arena() const {
        if constexpr (sizeof(Unit) == 1)
            return units8_;
        else if constexpr (sizeof(Unit) == 2)
            return units16_;
        else
            return code_points_;
    }
    // Every piece and segment again, as UTF-8.
    PaddedUnits<char> utf8_;
    Text scratch_;
    PaddedUnits<char> utf8_scratch_;
    ReplaceChain::State state_ = ReplaceChain::kStart;
    bool first_ = true;
};

}  // namespace engine
