// A chain of sequential replacement passes run as one left-to-right pass.
//
// Pass k replaces every non-overlapping occurrence of its pattern, scanning
// from the left, by its replacement, and pass k+1 sees the result: exactly
// what a series of whole-text replace calls does. Each pass is a streaming
// matcher (KMP); the chain of matchers is a finite transducer whose states
// and transitions are built lazily and memoised, so the common step costs one
// table lookup however many passes there are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "engine/text.hpp"

namespace engine {

struct Pass {
    Text pattern;
    Text replacement;
};

// One pass over a whole text, as the interpreter's replace does it; the
// pattern is not empty.
Text replace_whole(const Text& text, const Pass& pass);

class ReplaceChain {
  public:
    using State = std::uint32_t;
    using Symbol = std::uint32_t;  // a class of input characters

    // Characters that occur in no pattern all behave alike: they stand in the
    // outputs as this placeholder, to be replaced by the character itself.
    static constexpr CodePoint kAnyOther = 0xFFFFFFFF;
    static constexpr Symbol kOtherSymbol = 0;
    static constexpr State kStart = 0;

    struct Step {
        State next;
        std::uint32_t output_offset;
        std::uint32_t output_length;
    };

    // `distinct` names characters that should get a class of their own even
    // if no pattern holds them, so that steps on them are fully known.
    explicit ReplaceChain(std::vector<Pass> passes, const Text& distinct = Text());

    Symbol symbol_of(CodePoint c) const {
        if (c > kMaxCodePoint) return kOtherSymbol;
        return symbol_pages_[std::size_t(page_of_block_[c >> 8]) << 8 | (c & 0xFF)];
    }
    std::size_t symbol_count() const { return representatives_.size(); }
    CodePoint representative(Symbol symbol) const { return representatives_[symbol]; }

    // The transition from `state` on a character of class `symbol`; false when
    // the transducer would grow beyond its memory budget (see too_large()).
    bool step(State state, Symbol symbol, Step& result) {
        const Step& known = steps_[std::size_t(state) * symbol_count() + symbol];
        if (known.next != kUnknown) {
            result = known;
            return true;
        }
        return compute_step(state, symbol, result);
    }
    // What the chain emits when the text ends in `state`.
    bool finish(State state, Step& result);

    const CodePoint* output(const Step& step) const { return arena_.data() + step.output_offset; }

    // Plain sequential passes over a whole text: the reference behaviour, and
    // the fallback for alphabets whose transducer would be too large.
    Text apply_all(const Text& text) const;

  private:
    static constexpr State kUnknown = 0xFFFFFFFF;
    using StageStates = std::vector<std::uint32_t>;

    struct Stage {
        Text pattern;
        Text replacement;
        std::vector<std::uint32_t> border;  // KMP failure function
    };

    void feed_stage(const Stage& stage, std::uint32_t& matched, CodePoint c, Text& out) const;
    void flush_stage(const Stage& stage, std::uint32_t matched, Text& out) const;
    void run_chain(StageStates& states, Text chars, bool at_end, Text& out) const;
    bool intern(const StageStates& states, State& id);
    bool record(const Text& output, Step& step);
    bool compute_step(State state, Symbol symbol, Step& result);
    void index_symbols(const Text& distinct);

    std::vector<Stage> stages_;
    std::vector<CodePoint> representatives_;  // one character per symbol
    std::vector<std::uint16_t> page_of_block_;
    std::vector<Symbol> symbol_pages_;  // 256 symbols per page; page 0 is all "other"
    std::map<StageStates, State> state_ids_;
    std::vector<StageStates> states_;
    std::vector<Step> steps_;
    std::vector<Step> finish_steps_;
    std::vector<CodePoint> arena_;
};

}  // namespace engine
