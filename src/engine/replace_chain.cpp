#include "engine/replace_chain.hpp"

#include <algorithm>
#include <utility>

namespace engine {

namespace {

// Bounds on the memoised transducer; beyond them the plain passes take over.
constexpr std::size_t kMaxStates = 1 << 14;
constexpr std::size_t kMaxArena = std::size_t(1) << 24;

std::vector<std::uint32_t> borders_of(const Text& pattern) {
    std::vector<std::uint32_t> border(pattern.size() + 1, 0);
    std::uint32_t k = 0;
    for (std::size_t i = 1; i < pattern.size(); ++i) {
        while (k > 0 && pattern[i] != pattern[k]) k = border[k];
        if (pattern[i] == pattern[k]) ++k;
        border[i + 1] = k;
    }
    return border;
}

}  // namespace

ReplaceChain::ReplaceChain(std::vector<Pass> passes, const Text& distinct) {
    for (Pass& pass : passes) {
        std::vector<std::uint32_t> border = borders_of(pass.pattern);
        stages_.push_back(
            {std::move(pass.pattern), std::move(pass.replacement), std::move(border)});
    }
    index_symbols(distinct);
    StageStates start(stages_.size(), 0);
    State id;
    intern(start, id);
}

void ReplaceChain::index_symbols(const Text& distinct) {
    representatives_.push_back(kAnyOther);
    std::vector<CodePoint> significant(distinct.begin(), distinct.end());
    for (const Stage& stage : stages_)
        significant.insert(significant.end(), stage.pattern.begin(), stage.pattern.end());
    std::sort(significant.begin(), significant.end());
    significant.erase(std::unique(significant.begin(), significant.end()), significant.end());

    page_of_block_.assign((kMaxCodePoint >> 8) + 1, 0);
    symbol_pages_.assign(256, kOtherSymbol);
    for (CodePoint c : significant) {
        if (c > kMaxCodePoint) continue;
        std::uint16_t& page = page_of_block_[c >> 8];
        if (page == 0) {
            page = static_cast<std::uint16_t>(symbol_pages_.size() >> 8);
            symbol_pages_.resize(symbol_pages_.size() + 256, kOtherSymbol);
        }
        symbol_pages_[std::size_t(page) << 8 | (c & 0xFF)] =
            static_cast<Symbol>(representatives_.size());
        representatives_.push_back(c);
    }
}

void ReplaceChain::feed_stage(const Stage& stage, std::uint32_t& matched, CodePoint c,
                              Text& out) const {
    const Text& pattern = stage.pattern;
    if (pattern.empty()) {
        out += stage.replacement;
        out += c;
        return;
    }
    for (;;) {
        if (pattern[matched] == c) {
            if (++matched == pattern.size()) {
                out += stage.replacement;
                matched = 0;
            }
            return;
        }
        if (matched == 0) {
            out += c;
            return;
        }
        // The characters before the longest border can no longer start a match.
        const std::uint32_t keep = stage.border[matched];
        out.append(pattern, 0, matched - keep);
        matched = keep;
    }
}

void ReplaceChain::flush_stage(const Stage& stage, std::uint32_t matched, Text& out) const {
    if (stage.pattern.empty())
        out += stage.replacement;
    else
        out.append(stage.pattern, 0, matched);
}

void ReplaceChain::run_chain(StageStates& states, Text chars, bool at_end, Text& out) const {
    Text next;
    for (std::size_t i = 0; i < stages_.size(); ++i) {
        next.clear();
        for (CodePoint c : chars) feed_stage(stages_[i], states[i], c, next);
        if (at_end) {
            flush_stage(stages_[i], states[i], next);
            states[i] = 0;
        }
        chars.swap(next);
    }
    out = std::move(chars);
}

bool ReplaceChain::intern(const StageStates& states, State& id) {
    auto found = state_ids_.find(states);
    if (found != state_ids_.end()) {
        id = found->second;
        return true;
    }
    if (states_.size() >= kMaxStates) return false;
    id = static_cast<State>(states_.size());
    state_ids_.emplace(states, id);
    states_.push_back(states);
    steps_.resize(steps_.size() + symbol_count(), Step{kUnknown, 0, 0});
    finish_steps_.push_back(Step{kUnknown, 0, 0});
    return true;
}

bool ReplaceChain::record(const Text& output, Step& step) {
    if (arena_.size() + output.size() > kMaxArena) return false;
    step.output_offset = static_cast<std::uint32_t>(arena_.size());
    step.output_length = static_cast<std::uint32_t>(output.size());
    arena_.insert(arena_.end(), output.begin(), output.end());
    return true;
}

bool ReplaceChain::compute_step(State state, Symbol symbol, Step& result) {
    StageStates states = states_[state];
    Text output;
    run_chain(states, Text(1, representatives_[symbol]), false, output);
    Step step{};
    if (!intern(states, step.next) || !record(output, step)) return false;
    steps_[std::size_t(state) * symbol_count() + symbol] = step;
    result = step;
    return true;
}

bool ReplaceChain::finish(State state, Step& result) {
    if (finish_steps_[state].next != kUnknown) {
        result = finish_steps_[state];
        return true;
    }
    StageStates states = states_[state];
    Text output;
    run_chain(states, Text(), true, output);
    Step step{kStart, 0, 0};
    if (!record(output, step)) return false;
    finish_steps_[state] = step;
    result = step;
    return true;
}

Text replace_whole(const Text& text, const Pass& pass) {
    Text result;
    std::size_t at = 0;
    for (std::size_t found; (found = text.find(pass.pattern, at)) != Text::npos;
         at = found + pass.pattern.size()) {
        result.append(text, at, found - at);
        result += pass.replacement;
    }
    return result.append(text, at, Text::npos);
}

Text ReplaceChain::apply_all(const Text& text) const {
    StageStates states(stages_.size(), 0);
    Text output;
    run_chain(states, text, true, output);
    return output;
}

}  // namespace engine
