// Decoding: the replacement passes turn syllables back into digits and
// whitespace, the text is cut at whitespace into groups, and each group is
// read as a number in the base and becomes the character with that code
// point. Streams: feed text in pieces, then finish.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/replace_chain.hpp"

namespace engine {

// The characters that separate groups (the interpreter's notion of whitespace).
bool is_whitespace(CodePoint c);
// Whitespace only, and not empty.
bool is_blank_text(const Text& text);

// Whether an output also takes characters in arrays:
// void(const CodePoint*, std::size_t).
template <typename Out, typename = void>
struct takes_arrays : std::false_type {};
template <typename Out>
struct takes_arrays<Out, std::void_t<decltype(std::declval<Out&>()(
                             std::declval<const CodePoint*>(), std::size_t()))>> : std::true_type {
};

class Decoder {
  public:
    enum class Status { ok, failed, too_large };

    // Any base is accepted; groups that are not plain ASCII digits of a base
    // from 2 to 36 are left to the caller's reader.
    Decoder(std::int64_t base, std::vector<Pass> passes);

    void restart();

    // Out: void(CodePoint) receives each decoded character, or several at a
    // time where it takes arrays too.
    // Reader: bool(const Text& group, Out& out) reads a group the fast path
    // does not (other syntax, out of range); it emits the character itself, or
    // returns false to stop with Status::failed.
    template <typename CharT, typename Out, typename Reader>
    Status feed(const CharT* text, std::size_t length, Out& out, Reader& reader) {
        if constexpr (sizeof(CharT) > 2) {
            return feed_any(text, length, out, reader);
        } else {
            if (chunk_length_ == 4) return feed_chunks<4>(text, length, out, reader);
            if (chunk_length_ == 2) return feed_chunks<2>(text, length, out, reader);
            return feed_characters(text, length, out, reader);
        }
    }

    template <typename Out, typename Reader>
    Status finish(Out& out, Reader& reader) {
        ReplaceChain::Step step;
        if (!chain_.finish(state_, step)) return Status::too_large;
        const CodePoint* produced = chain_.output(step);
        for (std::uint32_t k = 0; k < step.output_length; ++k) {
            if (!take(produced[k], out, reader)) return Status::failed;
        }
        const bool read = end_group(out, reader);
        restart();
        return read ? Status::ok : Status::failed;
    }

    // Receives, in order, the start of a group kept as text once it grows
    // long, so that a group of any length takes bounded memory; the reader
    // then gets only the rest. Readers that need whole groups set none.
    class GroupSpill {
      public:
        virtual void spill(const Text& start) = 0;

      protected:
        ~GroupSpill() = default;
    };
    void spill_long_groups(GroupSpill* spill) { spill_ = spill; }

    // Position in the input (in characters) where the group being read began.
    std::uint64_t group_position() const { return group_position_; }

    // Between groups, with no pass part-way through a match: what follows
    // decodes as it would at the start of a text.
    bool at_rest() const { return state_ == ReplaceChain::kStart && digits_ == 0; }
    // Characters read so far.
    std::uint64_t position() const { return position_; }

    // What a character does in any context, where every pattern is at most
    // one character long: its digit value, kBlank, or kOther for anything
    // else (no output, several characters, a digit not read natively).
    static constexpr int kBlank = -1;
    static constexpr int kOther = -2;
    int meaning_alone(CodePoint c);
    std::int64_t base() const { return base_; }
    // Counts characters the caller decoded from rest to rest by other means.
    void skip(std::uint64_t characters) { position_ += characters; }

    // The text after all passes, by whole-text passes (for alphabets whose
    // transducer outgrows its budget).
    Text replace_plain(const Text& input) const { return chain_.apply_all(input); }

  private:
    // digits_ holds 0 between groups, the count of a plain group's digits, or
    // this mark when the group is kept as text in group_.
    static constexpr std::size_t kAsText = ~std::size_t(0) / 2;
    // In bases that are not powers of two the interpreter caps the digits it
    // reads, so longer groups are left to the reader; in the others a group
    // of any length (leading zeros) is read natively, and never held as text.
    static constexpr std::size_t kMaxFastDigits = 600;
    static std::size_t max_fast_digits(std::int64_t base) {
        return base > 0 && (base & (base - 1)) == 0 ? kAsText - 1 : kMaxFastDigits;
    }

    // What one input character does, once the transducer's step is known.
    // `digits`: no output, or up to kMaxRun digits worth `addend` together;
    // `several`: another output none of whose characters is the input
    // character itself; `general`: any other output.
    enum class Kind : std::uint8_t { unknown = 0, digits, blank, several, general };
    static constexpr unsigned kMaxRun = 4;
    struct Action {
        std::uint32_t next_row;    // the next state, shifted to index the table
        std::uint32_t multiplier;  // base ** count
        std::uint32_t addend;
        std::uint8_t count;
        Kind kind;
    };
    struct FreeTable {
        void operator()(void* table) const;
    };
    // States whose actions on characters up to U+FFFF are tabled directly.
    static constexpr ReplaceChain::State kTableStates = 32;

    // What a chunk of 2 or 4 characters does: `digits` appends `count`
    // digits worth `addend`; `split` does that, ends the group, and starts the
    // next with `count_after` digits worth `addend_after`. start_at says which
    // character of the chunk produced the first digit of the part that may
    // open a group.
    enum class ChunkKind : std::uint8_t { unknown = 0, digits, split, by_character };
    struct ChunkAction {
        std::uint32_t next_row;  // the next state, times the chunk table's row size
        std::uint32_t multiplier;
        std::uint32_t addend;
        std::uint32_t addend_after;  // 0 unless split
        std::uint8_t count;
        std::uint8_t count_after;  // 0 unless split
        std::uint8_t start_at;
        std::uint8_t keeps_group;  // 1 for digits, 0 for split
        ChunkKind kind;
    };
    static bool is_plain(ChunkKind kind) {
        return kind == ChunkKind::digits || kind == ChunkKind::split;
    }
    // Characters decoded by the chunk loop before they are handed on.
    static constexpr std::size_t kPending = 64;
    // Chunks are tabled in states below chunk_states_ (kChunkStates, or 1 for
    // a single-state transducer), for alphabets whose table stays within
    // kChunkEntries entries (only touched pages are used).
    static constexpr ReplaceChain::State kChunkStates = 32;
    static constexpr std::size_t kChunkEntries = std::size_t(1) << 20;
    static constexpr std::size_t kNarrow = 0x10000;
    // The most digits a chunk adds to a group: its multiplier, a power of
    // the base, fits in 32 bits.
    static std::size_t max_chunk_run(std::int64_t base);
    void prepare_chunks();
    ChunkAction describe_chunk(const std::uint8_t* symbols);

    // Several characters up to U+FFFF per step: their symbols index a table
    // of what the chunk does, so the common case costs one lookup and one
    // multiply-add for the whole chunk, without a branch on whether a group
    // ends there. Anything unusual goes character by character.
    template <std::size_t N, typename CharT, typename Out, typename Reader>
    Status feed_chunks(const CharT* text, std::size_t length, Out& out, Reader& reader) {
        const std::uint64_t origin = position_;
        const CharT* const end = text + length;
        const CharT* p = text;
        while (std::size_t(end - p) >= N && state_ < chunk_states_) {
            p = single_state_ ? run_chunks<N, true>(origin, text, p, end, out)
                              : run_chunks<N, false>(origin, text, p, end, out);
            if (std::size_t(end - p) < N) break;
            std::uint8_t chunk[N];
            for (std::size_t k = 0; k < N; ++k) chunk[k] = narrow_symbols_[p[k]];
            const std::size_t index = chunk_index<N>(std::uint32_t(state_) * chunk_row_, p);
            if (chunks_[index].kind == ChunkKind::unknown) {
                chunks_[index] = describe_chunk(chunk);
                if (chunks_[index].kind != ChunkKind::by_character) continue;
            }
            position_ = origin + std::uint64_t(p - text);
            const Status status = feed_characters(p, N, out, reader);
            if (status != Status::ok) return status;
            p += N;
        }
        position_ = origin + std::uint64_t(p - text);
        return feed_characters(p, std::size_t(end - p), out, reader);
    }

    // Where a chunk's entry lies within a state's row of the chunk table.
    template <std::size_t N, typename CharT>
    static std::uint32_t index_in_row(const CharT* chunk, const std::uint8_t* symbols,
                                      const std::uint32_t* offsets) {
        std::uint32_t index = symbols[chunk[N - 1]];
        for (std::size_t k = 0; k + 1 < N; ++k) index += offsets[k * kNarrow + chunk[k]];
        return index;
    }
    template <std::size_t N, typename CharT>
    std::uint32_t chunk_index(std::uint32_t row, const CharT* chunk) const {
        return row + index_in_row<N>(chunk, narrow_symbols_.get(), chunk_offsets_.get());
    }

    // What the chunk loop carries from one chunk to the next.
    struct ChunkScan {
        std::size_t at;  // index of the next chunk in the text
        std::uint32_t row;
        std::uint64_t value;
        std::size_t digits;
        std::uint64_t start;  // where the open group began, relative to the text
        std::size_t pending;
        CodePoint decoded[kPending];
    };
    // Runs chunks until one is not plain digits or a plain group end, the
    // text ends, or kPending characters are decoded; false in the first case.
    // Compiled on its own (see decoder.cpp) so that its loop owns every register.
    template <std::size_t N, bool SingleState, typename CharT>
    bool scan_chunks(const CharT* text, std::size_t length, ChunkScan& scan) const;

    // Runs chunks while they are plain; returns where it stopped. `origin` is
    // the position where `text` starts.
    template <std::size_t N, bool SingleState, typename CharT, typename Out>
    const CharT* run_chunks(std::uint64_t origin, const CharT* text, const CharT* p,
                            const CharT* end, Out& out) {
        ChunkScan scan;
        scan.at = std::size_t(p - text);
        scan.row = std::uint32_t(state_) * chunk_row_;
        scan.value = value_;
        scan.digits = digits_;
        scan.start = group_position_ - origin;
        bool plain = true;
        do {
            scan.pending = 0;
            plain = scan_chunks<N, SingleState>(text, std::size_t(end - text), scan);
            if constexpr (takes_arrays<Out>::value) {
                out(static_cast<const CodePoint*>(scan.decoded), scan.pending);
            } else {
                for (std::size_t k = 0; k < scan.pending; ++k) out(scan.decoded[k]);
            }
        } while (plain && std::size_t(end - text) - scan.at >= N);
        value_ = scan.value;
        digits_ = scan.digits;
        group_position_ = origin + scan.start;
        state_ = ReplaceChain::State(scan.row / chunk_row_);
        return text + scan.at;
    }

    template <typename CharT, typename Out, typename Reader>
    Status feed_characters(const CharT* text, std::size_t length, Out& out, Reader& reader) {
        return single_state_ ? feed_narrow<true>(text, length, out, reader)
                             : feed_narrow<false>(text, length, out, reader);
    }

    // Characters up to U+FFFF: one table lookup per character, indexed by
    // state and character. A single-state transducer (every pattern at most
    // one character long) needs no state at all.
    template <bool SingleState, typename CharT, typename Out, typename Reader>
    Status feed_narrow(const CharT* text, std::size_t length, Out& out, Reader& reader) {
        if (state_ >= kTableStates) return feed_any(text, length, out, reader);
        const Action* const table = table_.get();
        std::uint32_t row = std::uint32_t(state_) << 16;
        std::uint64_t value = value_;
        std::size_t digits = digits_;
        std::uint64_t start = group_position_;
        for (std::size_t i = 0; i < length; ++i) {
            const CodePoint c = static_cast<CodePoint>(text[i]);
            const Action action = table[SingleState ? c : (row | c)];
            if (action.kind == Kind::digits) {
                // Branch-free on the common path: a step without output has
                // multiplier 1, addend 0 and count 0.
                start = digits != 0 ? start : position_ + i;
                const std::uint64_t next = value * action.multiplier + action.addend;
                const std::size_t count = digits + action.count;
                if (next <= kMaxCodePoint && count <= max_fast_digits_) {
                    value = next;
                    digits = count;
                } else {
                    value_ = value;
                    digits_ = digits;
                    group_position_ = start;
                    take_digits(action, position_ + i);
                    value = value_;
                    digits = digits_;
                    start = group_position_;
                }
            } else if (action.kind == Kind::blank) {
                if (digits != 0) {
                    if (digits <= max_fast_digits_) {
                        out(CodePoint(value));
                    } else {
                        digits_ = digits;
                        group_position_ = start;
                        if (!end_group(out, reader)) return stop(row >> 16, i);
                    }
                    value = 0;
                    digits = 0;
                }
            } else {
                value_ = value;
                digits_ = digits;
                group_position_ = start;
                state_ = row >> 16;
                position_ += i;
                const Status status = action.kind == Kind::several
                                          ? take_known_output(c, out, reader)
                                          : take_general(c, out, reader);
                position_ -= i;
                if (status != Status::ok) return status;
                if (state_ >= kTableStates) {
                    position_ += i + 1;
                    return feed_any(text + i + 1, length - i - 1, out, reader);
                }
                value = value_;
                digits = digits_;
                start = group_position_;
                row = std::uint32_t(state_) << 16;
                continue;
            }
            if (!SingleState) row = action.next_row;
        }
        value_ = value;
        digits_ = digits;
        group_position_ = start;
        state_ = row >> 16;
        position_ += length;
        return Status::ok;
    }

    // Any characters: through the transducer's symbol classes.
    template <typename CharT, typename Out, typename Reader>
    Status feed_any(const CharT* text, std::size_t length, Out& out, Reader& reader) {
        for (std::size_t i = 0; i < length; ++i, ++position_) {
            const CodePoint c = static_cast<CodePoint>(text[i]);
            const Action action = symbol_action(c);
            Status status = Status::ok;
            if (action.kind == Kind::unknown || action.kind == Kind::general)
                status = take_general(c, out, reader);
            else
                status = take_known_output(c, out, reader);
            if (status != Status::ok) return status;
        }
        return Status::ok;
    }

    Action symbol_action(CodePoint c) const {
        const std::size_t index = std::size_t(state_) * chain_.symbol_count() + chain_.symbol_of(c);
        return index < actions_.size() ? actions_[index] : Action{};
    }
    Action classify(const ReplaceChain::Step& step) const;
    void remember(CodePoint c, const ReplaceChain::Step& step);

    Status stop(ReplaceChain::State state, std::size_t consumed) {
        state_ = state;
        position_ += consumed;
        return Status::failed;
    }

    // A step already met whose output needs no knowledge of the input character.
    template <typename Out, typename Reader>
    Status take_known_output(CodePoint c, Out& out, Reader& reader) {
        ReplaceChain::Step step;
        chain_.step(state_, chain_.symbol_of(c), step);
        const CodePoint* produced = chain_.output(step);
        for (std::uint32_t k = 0; k < step.output_length; ++k) {
            if (!take(produced[k], out, reader)) return Status::failed;
        }
        state_ = step.next;
        return Status::ok;
    }

    template <typename Out, typename Reader>
    Status take_general(CodePoint c, Out& out, Reader& reader) {
        ReplaceChain::Step step;
        if (!chain_.step(state_, chain_.symbol_of(c), step)) return Status::too_large;
        remember(c, step);
        const CodePoint* produced = chain_.output(step);
        for (std::uint32_t k = 0; k < step.output_length; ++k) {
            const CodePoint o = produced[k] == ReplaceChain::kAnyOther ? c : produced[k];
            if (!take(o, out, reader)) return Status::failed;
        }
        state_ = step.next;
        return Status::ok;
    }

    template <typename Out, typename Reader>
    bool take(CodePoint c, Out& out, Reader& reader) {
        const std::uint32_t digit = c - U'0';
        if (digit < fast_digit_limit_) {
            take_digit(digit, position_);
        } else if (is_whitespace(c)) {
            return end_group(out, reader);
        } else {
            open_group(position_);
            if (digits_ != kAsText) spell_out_group();
            group_ += c;
            spill_if_long();
        }
        return true;
    }

    void take_digits(const Action& action, std::uint64_t position) {
        std::uint32_t digits[kMaxRun];
        std::uint32_t rest = action.addend;
        for (unsigned k = action.count; k > 0; rest /= std::uint32_t(base_))
            digits[--k] = rest % std::uint32_t(base_);
        for (unsigned k = 0; k < action.count; ++k) take_digit(digits[k], position);
    }

    void take_digit(std::uint32_t digit, std::uint64_t position) {
        open_group(position);
        if (digits_ != kAsText) {
            const std::uint64_t value = value_ * std::uint64_t(base_) + digit;
            if (value <= kMaxCodePoint && digits_ < max_fast_digits_) {
                value_ = value;
                ++digits_;
                return;
            }
            spell_out_group();
        }
        group_ += CodePoint(U'0' + digit);
        spill_if_long();
    }

    void open_group(std::uint64_t position) {
        if (digits_ != 0) return;
        value_ = 0;
        group_position_ = position;
    }

    // From here on the group is kept as text, starting with its digits so far.
    void spell_out_group();
    static constexpr std::size_t kSpillLength = 4096;
    void spill_if_long() {
        if (spill_ && group_.size() >= kSpillLength) {
            spill_->spill(group_);
            group_.clear();
        }
    }

    template <typename Out, typename Reader>
    bool end_group(Out& out, Reader& reader) {
        const std::size_t digits = digits_;
        const std::uint64_t value = value_;
        digits_ = 0;
        value_ = 0;
        if (digits == 0) return true;
        if (digits != kAsText) {
            out(CodePoint(value));
            return true;
        }
        return reader(group_, out);
    }

    std::int64_t base_;
    std::uint32_t fast_digit_limit_;  // digits below this are read natively
    std::size_t max_fast_digits_;     // the most digits a group read natively has
    std::size_t max_chunk_run_;
    bool single_state_;
    ReplaceChain::State chunk_states_;
    ReplaceChain chain_;
    std::vector<Action> actions_;                 // per transducer state and symbol
    std::unique_ptr<Action[], FreeTable> table_;  // per tabled state and character
    std::size_t chunk_length_ = 0;                // characters per chunk step, or 0 for none
    std::uint32_t chunk_row_ = 0;  // table entries per state: symbols ** chunk_length_
    std::unique_ptr<std::uint8_t[], FreeTable> narrow_symbols_;  // per character up to U+FFFF
    // For the k-th character of a chunk, its symbol times symbols ** (length - 1 - k).
    std::unique_ptr<std::uint32_t[], FreeTable> chunk_offsets_;
    std::unique_ptr<ChunkAction[], FreeTable> chunks_;  // per state and chunk of symbols
    ReplaceChain::State state_ = ReplaceChain::kStart;
    std::uint64_t value_ = 0;
    std::size_t digits_ = 0;
    Text group_;
    GroupSpill* spill_ = nullptr;
    std::uint64_t position_ = 0;
    std::uint64_t group_position_ = 0;
};

}  // namespace engine
