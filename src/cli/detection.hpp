// Decoding without knowing the language: every language decodes the text,
// and the output is held back until only one of them can still read it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "translation.hpp"
#include "utf8_output.hpp"

namespace cli {

class Detection {
  public:
    Detection();

    // False once no language can read the text.
    template <typename CharT>
    bool feed(const CharT* text, std::size_t length, Utf8Output& out) {
        if (chosen_ != nullptr) return chosen_->stream->feed(text, length, out);
        for (Candidate& candidate : candidates_) {
            if (candidate.alive)
                candidate.alive = candidate.stream->feed(text, length, candidate.held);
        }
        return settle(out);
    }
    // False when no language, or several with different results, read the text.
    bool finish(Utf8Output& out);

    // After a failure: why, over several lines.
    std::string failure_text() const;

  private:
    struct Candidate {
        std::unique_ptr<DecodingStream> stream;
        Utf8Output held{Utf8Output::kInMemory};
        bool alive = true;
    };

    // Commits to the last language standing, if there is exactly one.
    bool settle(Utf8Output& out);
    void choose(Candidate& candidate, Utf8Output& out);
    std::vector<Candidate*> alive_candidates();

    std::vector<Candidate> candidates_;
    Candidate* chosen_ = nullptr;
    bool ambiguous_ = false;
};

}  // namespace cli
