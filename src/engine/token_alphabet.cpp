#include "engine/token_alphabet.hpp"

#include <algorithm>

#include "engine/decoder.hpp"

namespace engine {

namespace {

// Concatenations tried per pass before giving up on the proof.
constexpr std::size_t kMostConcatenations = std::size_t(1) << 16;
// A token that becomes anything else.
constexpr int kUnfit = -3;

bool ends_with(const Text& text, const Text& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

int meaning_of(const Text& result, std::int64_t base) {
    if (result.empty()) return Token::kNothing;
    if (result.size() == 1 && result[0] >= U'0' && result[0] <= U'9' &&
        std::int64_t(result[0] - U'0') < base)
        return int(result[0] - U'0');
    return is_blank_text(result) ? Token::kBlank : kUnfit;
}

// Where the pass's scan of a text alone comes to rest: past its last match.
std::size_t scan_end(const Text& text, const Text& pattern) {
    std::size_t end = 0;
    for (std::size_t found; (found = text.find(pattern, end)) != Text::npos;)
        end = found + pattern.size();
    return end;
}

// Whether the pass's scan over some concatenation of the pieces (none empty)
// may take a match across a boundary: one that starts in the first piece at or
// after where the scan of that piece alone comes to rest, and ends in the last
// of two or more pieces. Such a match spans at most pattern.size() pieces. A
// search that would take too long counts as finding one.
class Straddles {
  public:
    Straddles(const Text& pattern, const std::vector<Text>& pieces)
        : pattern_(pattern), pieces_(pieces) {}

    bool possible() {
        for (const Text& first : pieces_) {
            free_from_ = scan_end(first, pattern_);
            if (free_from_ < first.size() && extend(first, first.size(), 1)) return true;
        }
        return false;
    }

  private:
    bool extend(const Text& joined, std::size_t first, std::size_t count) {
        // A match that starts in the first piece ends before this.
        if (joined.size() >= first - 1 + pattern_.size() || count == pattern_.size()) return false;
        for (const Text& piece : pieces_) {
            if (++tried_ > kMostConcatenations) return true;
            const Text longer = joined + piece;
            if (crosses_into_last(longer, first, piece.size()) || extend(longer, first, count + 1))
                return true;
        }
        return false;
    }
    bool crosses_into_last(const Text& joined, std::size_t first, std::size_t last) const {
        const std::size_t last_start = joined.size() - last;
        for (std::size_t at = joined.find(pattern_, free_from_); at != Text::npos && at < first;
             at = joined.find(pattern_, at + 1)) {
            if (at + pattern_.size() > last_start) return true;
        }
        return false;
    }

    const Text& pattern_;
    const std::vector<Text>& pieces_;
    std::size_t free_from_ = 0;
    std::size_t tried_ = 0;
};

}  // namespace

bool cuts_cleanly(const Text& blank_now, const Text& pattern) {
    if (blank_now.empty()) return false;
    for (std::size_t length = 1; length < pattern.size(); ++length) {
        const Text start = pattern.substr(0, length);
        if (ends_with(start, blank_now) || ends_with(blank_now, start)) return false;
    }
    return true;
}

std::vector<Token> tokens_of(const std::vector<Pass>& passes, std::int64_t base, CodePoint blank) {
    std::vector<Text> texts;
    for (const Pass& pass : passes) {
        if (pass.pattern.empty()) return {};
        texts.push_back(pass.pattern);
    }
    texts.push_back(Text(1, blank));
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());

    // Each token as the passes before the current one have left it.
    std::vector<Text> now = texts;
    const std::size_t blank_index =
        std::size_t(std::find(texts.begin(), texts.end(), Text(1, blank)) - texts.begin());
    for (const Pass& pass : passes) {
        std::vector<Text> pieces;
        for (const Text& piece : now) {
            if (!piece.empty()) pieces.push_back(piece);
        }
        std::sort(pieces.begin(), pieces.end());
        pieces.erase(std::unique(pieces.begin(), pieces.end()), pieces.end());
        if (Straddles(pass.pattern, pieces).possible()) return {};
        if (!cuts_cleanly(now[blank_index], pass.pattern)) return {};
        for (Text& piece : now) piece = replace_whole(piece, pass);
    }
    std::vector<Token> tokens;
    for (std::size_t k = 0; k < texts.size(); ++k) {
        const int meaning = meaning_of(now[k], base);
        if (meaning == kUnfit) return {};
        tokens.push_back({texts[k], meaning});
    }
    if (tokens[blank_index].meaning != Token::kBlank) return {};
    return tokens;
}

}  // namespace engine
