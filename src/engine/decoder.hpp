// Decoding: the replacement passes turn syllables back into digits and
// whitespace, the text is cut at whitespace into groups, and each group is
// read as a number in the base and becomes the character with that code
// point. Streams: feed text in pieces, then finish.
#pragma once

#include <cstddef>
#include <cstdint>
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
        for (std::size_t i = 0; i < length; ++i, ++position_) {
            const CodePoint c = static_cast<CodePoint>(text[i]);
            ReplaceChain::Step step;
            if (!chain_.step(state_, chain_.symbol_of(c), step)) return Status::too_large;
            state_ = step.next;
            if (step.output_length == 0) continue;
            const CodePoint* produced = chain_.output(step);
            for (std::uint32_t k = 0; k < step.output_length; ++k) {
                const CodePoint o = produced[k] == ReplaceChain::kAnyOther ? c : produced[k];
                if (!take(o, out, reader)) return Status::failed;
            }
        }
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
        const bool read = !in_group_ || end_group(out, reader);
        restart();
        return read ? Status::ok : Status::failed;
    }

    // Position in the input (in characters) where the group being read began.
    std::uint64_t group_position() const { return group_position_; }
    std::int64_t base() const { return base_; }

    // The text after all passes, by whole-text passes (for alphabets whose
    // transducer outgrows its budget).
    Text replace_plain(const Text& input) const { return chain_.apply_all(input); }

private:
    // Longer groups are left to the reader: the interpreter caps the digits
    // it reads in bases that are not powers of two.
    static constexpr std::size_t kMaxFastDigits = 600;

    template <typename Out, typename Reader>
    bool take(CodePoint c, Out& out, Reader& reader) {
        const std::uint32_t digit = c - U'0';
        if (digit < fast_digit_limit_) {
            open_group();
            group_ += c;
            value_ = value_ * std::uint64_t(base_) + digit;
            if (value_ > kMaxCodePoint) value_ = kMaxCodePoint + 1;
            return true;
        }
        if (is_whitespace(c)) return !in_group_ || end_group(out, reader);
        open_group();
        group_ += c;
        plain_ = false;
        return true;
    }

    void open_group() {
        if (in_group_) return;
        in_group_ = true;
        plain_ = true;
        value_ = 0;
        group_.clear();
        group_position_ = position_;
    }

    template <typename Out, typename Reader>
    bool end_group(Out& out, Reader& reader) {
        in_group_ = false;
        if (plain_ && value_ <= kMaxCodePoint && group_.size() <= kMaxFastDigits) {
            out(CodePoint(value_));
            return true;
        }
        return reader(group_, out);
    }

    std::int64_t base_;
    std::uint32_t fast_digit_limit_;  // digits below this are read natively
    ReplaceChain chain_;
    ReplaceChain::State state_ = ReplaceChain::kStart;
    bool in_group_ = false;
    bool plain_ = true;
    std::uint64_t value_ = 0;
    Text group_;
    std::uint64_t position_ = 0;
    std::uint64_t group_position_ = 0;
};

}  // namespace engine
