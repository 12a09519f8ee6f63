// Decoding: the replacement passes turn syllables back into digits and
// whitespace, the text is cut at whitespace into groups, and each group is
// read as a number in the base and becomes the character with that code
// point. Streams: feed text in pieces, then finish.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/replace_chain.hpp"

namespace engine {

// The characters that separate groups (the interpreter's notion of whitespace).
bool is_whitespace(CodePoint c);

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
        constexpr bool narrow = sizeof(CharT) <= 2;
        ReplaceChain::State state = state_;
        const Action* row = narrow ? row_for(state) : nullptr;
        // The group being read lives in registers while digits arrive.
        Group group = group_state_;
        const std::uint64_t base = std::uint64_t(base_);
        for (std::size_t i = 0; i < length; ++i) {
            const CodePoint c = static_cast<CodePoint>(text[i]);
            const Action action = narrow ? row[c] : symbol_action(state, c);
            if (action.kind == Kind::digit) {
                if (!group.open) group = Group{true, false, 0, 0, position_ + i};
                const std::uint64_t value = group.value * base + action.digit;
                if (value <= kMaxCodePoint && group.digits < kMaxFastDigits && !group.as_text) {
                    group.value = value;
                    ++group.digits;
                } else {
                    group_state_ = group;
                    take_digit(action.digit, position_ + i);
                    group = group_state_;
                }
            } else if (action.kind == Kind::blank) {
                if (group.open) {
                    group.open = false;
                    if (!group.as_text) {
                        out(CodePoint(group.value));
                    } else if (!reader(group_, out)) {
                        group_state_ = group;
                        return stop(state, i);
                    }
                }
            } else if (action.kind == Kind::several) {
                group_state_ = group;
                position_ += i;
                const bool taken = take_known_output(state, c, out, reader);
                position_ -= i;
                if (!taken) return stop(state, i);
                group = group_state_;
            } else if (action.kind != Kind::nothing) {
                group_state_ = group;
                state_ = state;
                position_ += i;
                const Status status = take_general(c, out, reader);
                position_ -= i;
                if (status != Status::ok) return status;
                group = group_state_;
                state = state_;
                if (narrow) row = row_for(state);
                continue;
            }
            // A predicted branch rather than a data dependency on the lookup.
            if (action.next != state) {
                state = action.next;
                if (narrow) row = row_for(state);
            }
        }
        group_state_ = group;
        state_ = state;
        position_ += length;
        return Status::ok;
    }

    template <typename Out, typename Reader>
    Status finish(Out& out, Reader& reader) {
        ReplaceChain::Step step;
        if (!chain_.finish(state_, step)) return Status::too_large;
        const CodePoint* produced = chain_.output(step);
        for (std::uint32_t k = 0; k < step.output_length; ++k) {
            if (!take(produced[k], out, reader)) return Status::failed;
        }
        const bool read = !group_state_.open || end_group(out, reader);
        restart();
        return read ? Status::ok : Status::failed;
    }

    // Position in the input (in characters) where the group being read began.
    std::uint64_t group_position() const { return group_state_.position; }

    // The text after all passes, by whole-text passes (for alphabets whose
    // transducer outgrows its budget).
    Text replace_plain(const Text& input) const { return chain_.apply_all(input); }

private:
    // Longer groups are left to the reader: the interpreter caps the digits
    // it reads in bases that are not powers of two.
    static constexpr std::size_t kMaxFastDigits = 600;

    // What one input character does, once the transducer's step is known.
    // `several`: an output of several characters, none of them the input
    // character itself; `general`: any other output.
    enum class Kind : std::uint8_t { unknown = 0, nothing, digit, blank, several, general };
    struct Action {
        std::uint16_t next;
        Kind kind;
        std::uint8_t digit;
    };
    struct FreeRow {
        void operator()(Action* row) const;
    };
    using Row = std::unique_ptr<Action[], FreeRow>;

    // Actions of one state for every character up to U+FFFF, filled in as met.
    const Action* row_for(ReplaceChain::State state);
    Action symbol_action(ReplaceChain::State state, CodePoint c) const {
        return actions_[std::size_t(state) * chain_.symbol_count() + chain_.symbol_of(c)];
    }
    Action classify(const ReplaceChain::Step& step) const;

    Status stop(ReplaceChain::State state, std::size_t consumed) {
        state_ = state;
        position_ += consumed;
        return Status::failed;
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

    void remember(CodePoint c, const ReplaceChain::Step& step);

    template <typename Out, typename Reader>
    bool take_known_output(ReplaceChain::State state, CodePoint c, Out& out, Reader& reader) {
        ReplaceChain::Step step;
        chain_.step(state, chain_.symbol_of(c), step);
        const CodePoint* produced = chain_.output(step);
        for (std::uint32_t k = 0; k < step.output_length; ++k) {
            if (!take(produced[k], out, reader)) return false;
        }
        return true;
    }

    void take_digit(std::uint32_t digit, std::uint64_t position) {
        open_group(position);
        Group& group = group_state_;
        if (!group.as_text) {
            const std::uint64_t value = group.value * std::uint64_t(base_) + digit;
            if (value <= kMaxCodePoint && group.digits < kMaxFastDigits) {
                group.value = value;
                ++group.digits;
                return;
            }
            spell_out_group();
        }
        group_ += CodePoint(U'0' + digit);
    }

    template <typename Out, typename Reader>
    bool take(CodePoint c, Out& out, Reader& reader) {
        const std::uint32_t digit = c - U'0';
        if (digit < fast_digit_limit_) {
            take_digit(digit, position_);
            return true;
        }
        if (is_whitespace(c)) return !group_state_.open || end_group(out, reader);
        open_group(position_);
        if (!group_state_.as_text) spell_out_group();
        group_ += c;
        return true;
    }

    void open_group(std::uint64_t position) {
        if (!group_state_.open) group_state_ = Group{true, false, 0, 0, position};
    }

    // From here on the group is kept as text, starting with its digits so far.
    void spell_out_group();

    template <typename Out, typename Reader>
    bool end_group(Out& out, Reader& reader) {
        group_state_.open = false;
        if (!group_state_.as_text) {
            out(CodePoint(group_state_.value));
            return true;
        }
        return reader(group_, out);
    }

    // The group being read: while it is plain digits, only their value and
    // count; otherwise its text, in group_.
    struct Group {
        bool open;
        bool as_text;
        std::uint64_t value;
        std::size_t digits;
        std::uint64_t position;  // where in the input it began
    };

    std::int64_t base_;
    std::uint32_t fast_digit_limit_;  // digits below this are read natively
    ReplaceChain chain_;
    std::vector<Action> actions_;  // per transducer state and symbol
    std::vector<Row> rows_;        // per transducer state
    ReplaceChain::State state_ = ReplaceChain::kStart;
    Group group_state_{false, false, 0, 0, 0};
    Text group_;
    std::uint64_t position_ = 0;
};

}  // namespace engine
