#include "detection.hpp"

#include <cstring>

namespace cli {

namespace {

bool same_bytes(const Utf8Output& a, const Utf8Output& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

Detection::Detection() {
    for (const languages::Row& row : languages::rows) {
        if (row.direction != languages::Direction::decode) continue;
        candidates_.emplace_back();
        candidates_.back().stream.reset(new DecodingStream(row));
    }
}

std::vector<Detection::Candidate*> Detection::alive_candidates() {
    std::vector<Candidate*> alive;
    for (Candidate& candidate : candidates_) {
        if (candidate.alive) alive.push_back(&candidate);
    }
    return alive;
}

void Detection::choose(Candidate& candidate, Utf8Output& out) {
    chosen_ = &candidate;
    out.put_bytes(candidate.held.data(), candidate.held.size());
    candidate.held = Utf8Output(Utf8Output::kInMemory);
}

bool Detection::settle(Utf8Output& out) {
    const std::vector<Candidate*> alive = alive_candidates();
    if (alive.size() == 1) choose(*alive[0], out);
    return !alive.empty();
}

bool Detection::finish(Utf8Output& out) {
    if (chosen_ != nullptr) return chosen_->stream->finish(out);
    for (Candidate& candidate : candidates_) {
        if (candidate.alive) candidate.alive = candidate.stream->finish(candidate.held);
    }
    const std::vector<Candidate*> alive = alive_candidates();
    if (alive.empty()) return false;
    // Several languages may read a text the same way (blanks only, or digits
    // every base reads alike): the result is still certain.
    for (const Candidate* candidate : alive) {
        if (!same_bytes(candidate->held, alive[0]->held)) {
            ambiguous_ = true;
            return false;
        }
    }
    choose(*alive[0], out);
    return true;
}

std::string Detection::failure_text() const {
    if (chosen_ != nullptr) return chosen_->stream->failure_text();
    if (ambiguous_) {
        std::string names;
        for (const Candidate& candidate : candidates_) {
            if (!candidate.alive) continue;
            names += names.empty() ? "" : ", ";
            names += candidate.stream->name();
        }
        return "the text reads in more than one language, with different results: " + names;
    }
    std::string text = "the text is in none of the four languages:";
    for (const Candidate& candidate : candidates_) {
        text += "\n  " + candidate.stream->name() + ": " +
                describe(candidate.stream->failure(), candidate.stream->base());
    }
    return text;
}

}  // namespace cli
