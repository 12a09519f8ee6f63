#include "engine/kernels/token_groups.hpp"

#include <string>

#include "engine/token_alphabet.hpp"
#include "engine/utf8.hpp"

namespace engine {

TokenGroups::TokenGroups(const std::vector<Pass>& passes, std::int64_t base, unsigned char blank,
                         Route route) {
    if (route < Route::ssse3 || blank >= 0x80 || base < 2 || base > 3) return;
    std::vector<std::string> by_digit(static_cast<std::size_t>(base));
    bool blank_is_blank = false;
    for (const Token& token : tokens_of(passes, base, CodePoint(blank))) {
        if (token.text == Text(1, blank)) blank_is_blank = token.meaning == Token::kBlank;
        if (token.meaning < 0) continue;
        std::string& bytes = by_digit[std::size_t(token.meaning)];
        if (!bytes.empty() || (token_characters_ != 0 && token.text.size() != token_characters_))
            return;
        append_utf8(token.text.data(), token.text.size(), bytes);
        token_characters_ = token.text.size();
    }
    for (const std::string& bytes : by_digit) {
        if (bytes.empty() || bytes.size() != by_digit[0].size()) return;
    }
    if (blank_is_blank) vectors_ = TokenVectors(by_digit, blank, route);
}

std::size_t TokenGroups::read(const unsigned char*& from, const unsigned char* end, CodePoint* read,
                              std::uint64_t& characters) const {
    std::uint64_t tokens = 0, groups = 0;
    const std::size_t count = vectors_.read(from, end, read, kMostRead, tokens, groups);
    characters += tokens * token_characters_ + groups;
    return count;
}

}  // namespace engine
