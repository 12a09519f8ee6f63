// Decoding: the replacement passes turn syllables back into digits and
// whitespace, the text is cut at whitespace into groups, and each group is
// read as a number in the base and becomes the character with that code
// point. Streams: feed text in pieces, then finish.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "engine/replace_chain.hpp"

namespace engine {

// The characters that separate groups (the interpreter's notion of whitespace).
bool is_whitespace(CodePoint c);
// Whitespace only, and not empty.
bool is_blank_text(const Text& text);

class Decoder {
  public:
    enum class Status { ok, failed, too_large };

    // Any base is accepted; groups that are not plain ASCII digits of a base
    // from 2 to 36 are left to the caller's reader.
    Decoder(std::int64_t base, std::vector<Pass> passes);

    void restart();

    // Out: void(CodePoint) receives each decoded character.
    // Reader: bool(const Text& group, Out& out) reads a group the fast path
    // does not (other syntax, out of range); it emits the character itself, or
    // returns false to stop with Status::failed.
    template <typename CharT, typename Out, typename Reader>
    Status feed(const CharT* text, std::size_t length, Out& out, Reader& reader) {
        if constexpr (sizeof(CharT) > 2) {
            return feed_any(text, length, out, reader);
        } else {
            return single_state_ ? feed_narrow<true>(text, length, out, reader)
                                 : feed_narrow<false>(text, length, out, reader);
        }
    }

    template <typename Out, typename Reader>
    Status finish(Out& out, Reader& reader) {
        ReplaceChain::Step step;
        begin_step();
        if (!chain_.finish(now_.state, step)) return Status::too_large;
        const CodePoint* produced = chain_.output(step);
        for (std::uint32_t k = 0; k < step.output_length; ++k) {
            if (!take(produced[k], out, reader)) return Status::failed;
        }
        if (!end_group(out, reader)) return Status::failed;
        restart();
        return Status::ok;
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

    // Stops with Status::failed at a group whose number is a lone surrogate,
    // which UTF-8 cannot hold; refused_surrogate() then tells which.
    void refuse_surrogates() { refuse_surrogates_ = true; }
    CodePoint refused_surrogate() const { return refused_; }

    // Position in the input (in characters) of the first character of the
    // group being read: the first one after the passes last stood at rest
    // before the group's first character came out of them.
    std::uint64_t group_position() const { return now_.start; }

    // Between groups, with no pass part-way through a match: what follows
    // decodes as it would at the start of a text.
    bool at_rest() const { return now_.state == ReplaceChain::kStart && now_.digits == 0; }
    // Characters read so far.
    std::uint64_t position() const { return now_.position; }

    // What a character does in any context, where every pattern is at most
    // one character long: its digit value, kBlank, or kOther for anything
    // else (no output, several characters, a digit not read natively).
    static constexpr int kBlank = -1;
    static constexpr int kOther = -2;
    int meaning_alone(CodePoint c);
    std::int64_t base() const { return base_; }
    // Counts characters the caller decoded from rest to rest by other means.
    void skip(std::uint64_t characters) {
        now_.position += characters;
        now_.rest = now_.position;
    }

    // The text after all passes, by whole-text passes (for alphabets whose
    // transducer outgrows its budget).
    Text replace_plain(const Text& input) const { return chain_.apply_all(input); }

  private:
    // Progress.digits holds 0 between groups, the count of a plain group's
    // digits, or this mark when the group is kept as text in group_.
    static constexpr std::size_t kAsText = ~std::size_t(0) / 2;
    // In bases that are not powers of two the interpreter caps the digits it
    // reads, so longer groups are left to the reader; in the others a group
    // of any length (leading zeros) is read natively, and never held as text.
    static constexpr std::size_t kMaxFastDigits = 600;
    static std::size_t max_fast_digits(std::int64_t base) {
        return base > 0 && (base & (base - 1)) == 0 ? kAsText - 1 : kMaxFastDigits;
    }

    // Where the reading stands; the loops work on a copy and store it back
    // whole.
    struct Progress {
        ReplaceChain::State state = ReplaceChain::kStart;
        std::uint64_t value = 0;     // of the group's digits so far
        std::size_t digits = 0;      // see kAsText
        std::uint64_t start = 0;     // where the group began
        std::uint64_t rest = 0;      // where the passes last stood at rest
        std::uint64_t position = 0;  // of the character being read
    };

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
    // States whose actions on characters up to U+FFFF are tabled directly, a
    // row of zeros (Kind::unknown) for each state met.
    struct FreeTable {
        void operator()(Action* table) const;
    };
    void add_table_rows(std::size_t rows);
    static constexpr ReplaceChain::State kTableStates = 32;
    static constexpr std::size_t kNarrow = 0x10000;

    // Characters up to U+FFFF: one table lookup per character, indexed by
    // state and character. A single-state transducer (every pattern at most
    // one character long) needs no state at all, and rests at every character.
    template <bool SingleState, typename CharT, typename Out, typename Reader>
    Status feed_narrow(const CharT* text, std::size_t length, Out& out, Reader& reader) {
        if (now_.state >= kTableStates) return feed_any(text, length, out, reader);
        const Action* table = table_.get();
        Progress p = now_;
        const std::uint64_t origin = p.position;
        std::uint32_t row = std::uint32_t(p.state) << 16;
        for (std::size_t i = 0; i < length; ++i) {
            const CodePoint c = static_cast<CodePoint>(text[i]);
            const std::uint64_t at = origin + i;
            if (SingleState || row == 0) p.rest = at;
            const Action action = table[SingleState ? c : (row | c)];
            if (action.kind == Kind::digits) {
                // Branch-free on the common path: a step without output has
                // multiplier 1, addend 0 and count 0.
                p.start = p.digits != 0 ? p.start : p.rest;
                const std::uint64_t next = p.value * action.multiplier + action.addend;
                const std::size_t count = p.digits + action.count;
                if (next <= kMaxCodePoint && count <= max_fast_digits_) {
                    p.value = next;
                    p.digits = count;
                } else {
                    now_ = p;
                    take_digits(action);
                    p = now_;
                }
            } else if (action.kind == Kind::blank) {
                if (p.digits > max_fast_digits_ || (refuse_surrogates_ && is_surrogate(p.value))) {
                    p.state = row >> 16;
                    p.position = at;
                    now_ = p;
                    if (!end_group(out, reader)) return Status::failed;
                } else if (p.digits != 0) {
                    out(CodePoint(p.value));
                }
                p.value = 0;
                p.digits = 0;
            } else {
                p.state = row >> 16;
                p.position = at;
                now_ = p;
                const Status status = action.kind == Kind::several
                                          ? take_known_output(c, out, reader)
                                          : take_general(c, out, reader);
                if (status != Status::ok) return status;
                if (now_.state >= kTableStates) {
                    now_.position = at + 1;
                    return feed_any(text + i + 1, length - i - 1, out, reader);
                }
                p = now_;
                table = table_.get();
                row = std::uint32_t(p.state) << 16;
                continue;
            }
            if (!SingleState) row = action.next_row;
        }
        p.state = row >> 16;
        p.position = origin + length;
        now_ = p;
        return Status::ok;
    }

    // Any characters: through the transducer's symbol classes.
    template <typename CharT, typename Out, typename Reader>
    Status feed_any(const CharT* text, std::size_t length, Out& out, Reader& reader) {
        for (std::size_t i = 0; i < length; ++i, ++now_.position) {
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
        const std::size_t index =
            std::size_t(now_.state) * chain_.symbol_count() + chain_.symbol_of(c);
        return index < actions_.size() ? actions_[index] : Action{};
    }
    Action classify(const ReplaceChain::Step& step) const;
    void remember(CodePoint c, const ReplaceChain::Step& step);

    // Before the character at now_.position goes through the passes.
    void begin_step() {
        if (now_.state == ReplaceChain::kStart) now_.rest = now_.position;
    }

    // A step already met whose output needs no knowledge of the input character.
    template <typename Out, typename Reader>
    Status take_known_output(CodePoint c, Out& out, Reader& reader) {
        ReplaceChain::Step step;
        begin_step();
        chain_.step(now_.state, chain_.symbol_of(c), step);
        const CodePoint* produced = chain_.output(step);
        for (std::uint32_t k = 0; k < step.output_length; ++k) {
            if (!take(produced[k], out, reader)) return Status::failed;
        }
        now_.state = step.next;
        return Status::ok;
    }

    template <typename Out, typename Reader>
    Status take_general(CodePoint c, Out& out, Reader& reader) {
        ReplaceChain::Step step;
        begin_step();
        if (!chain_.step(now_.state, chain_.symbol_of(c), step)) return Status::too_large;
        remember(c, step);
        const CodePoint* produced = chain_.output(step);
        for (std::uint32_t k = 0; k < step.output_length; ++k) {
            const CodePoint o = produced[k] == ReplaceChain::kAnyOther ? c : produced[k];
            if (!take(o, out, reader)) return Status::failed;
        }
        now_.state = step.next;
        return Status::ok;
    }

    template <typename Out, typename Reader>
    bool take(CodePoint c, Out& out, Reader& reader) {
        const std::uint32_t digit = c - U'0';
        if (digit < fast_digit_limit_) {
            take_digit(digit);
        } else if (is_whitespace(c)) {
            return end_group(out, reader);
        } else {
            open_group();
            if (now_.digits != kAsText) spell_out_group();
            group_ += c;
            spill_if_long();
        }
        return true;
    }

    void take_digits(const Action& action) {
        std::uint32_t digits[kMaxRun];
        std::uint32_t rest = action.addend;
        for (unsigned k = action.count; k > 0; rest /= std::uint32_t(base_))
            digits[--k] = rest % std::uint32_t(base_);
        for (unsigned k = 0; k < action.count; ++k) take_digit(digits[k]);
    }

    void take_digit(std::uint32_t digit) {
        open_group();
        if (now_.digits != kAsText) {
            const std::uint64_t value = now_.value * std::uint64_t(base_) + digit;
            if (value <= kMaxCodePoint && now_.digits < max_fast_digits_) {
                now_.value = value;
                ++now_.digits;
                return;
            }
            spell_out_group();
        }
        group_ += CodePoint(U'0' + digit);
        spill_if_long();
    }

    void open_group() {
        if (now_.digits != 0) return;
        now_.value = 0;
        now_.start = now_.rest;
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
        const std::size_t digits = now_.digits;
        const std::uint64_t value = now_.value;
        now_.digits = 0;
        now_.value = 0;
        if (digits == 0) return true;
        if (digits == kAsText) return reader(group_, out);
        if (refuse_surrogates_ && is_surrogate(value)) {
            refused_ = CodePoint(value);
            return false;
        }
        out(CodePoint(value));
        return true;
    }

    static bool is_surrogate(std::uint64_t value) {
        return (value & ~std::uint64_t(0x7FF)) == 0xD800;
    }

    std::int64_t base_;
    std::uint32_t fast_digit_limit_;  // digits below this are read natively
    std::size_t max_fast_digits_;     // the most digits a group read natively has
    bool single_state_;
    ReplaceChain chain_;
    std::vector<Action> actions_;                 // per transducer state and symbol
    std::unique_ptr<Action[], FreeTable> table_;  // per tabled state and character
    std::size_t table_rows_ = 0;
    Progress now_;
    Text group_;
    GroupSpill* spill_ = nullptr;
    bool refuse_surrogates_ = false;
    CodePoint refused_ = 0;
};

}  // namespace engine
