#include "engine/kernels/token_groups.hpp"

#include <cstring>
#include <string>
#include <vector>

#include "engine/token_alphabet.hpp"
#include "engine/utf8.hpp"

namespace engine {

namespace {

bool is_blank_token(const std::vector<Token>& tokens, unsigned char blank) {
    for (const Token& token : tokens) {
        if (token.text == Text(1, blank)) return token.meaning == Token::kBlank;
    }
    return false;
}

std::uint64_t load(const unsigned char* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof(word));
    return word;
}

bool is_surrogate(std::uint64_t value) {
    return (value & ~std::uint64_t(0x7FF)) == 0xD800;
}

// Odd multipliers tried in turn until the digit tokens' keys fall in
// different slots.
constexpr std::uint64_t kMultipliers[] = {
    0x9E3779B97F4A7C15u, 0xC2B2AE3D27D4EB4Fu, 0x165667B19E3779F9u, 0xD6E8FEB86659FD93u,
    0xFF51AFD7ED558CCDu, 0xC4CEB9FE1A85EC53u, 0x94D049BB133111EBu, 0xBF58476D1CE4E5B9u,
};

}  // namespace

TokenGroups::TokenGroups(const std::vector<Pass>& passes, std::int64_t base, unsigned char blank,
                         Route route)
    : blank_(blank) {
    if (route < Route::sse2 || blank >= 0x80 || base < 2 || base > 10) return;
    const std::vector<Token> tokens = tokens_of(passes, base, CodePoint(blank));
    if (tokens.empty() || !is_blank_token(tokens, blank)) return;
    std::vector<std::string> bytes;
    std::vector<int> digits;
    for (const Token& token : tokens) {
        if (token.meaning < 0) continue;
        if (!bytes.empty() && token.text.size() != token_characters_) return;
        token_characters_ = token.text.size();
        bytes.emplace_back();
        append_utf8(token.text.data(), token.text.size(), bytes.back());
        digits.push_back(token.meaning);
    }
    usable_ = take(bytes, digits, base, route);
}

TokenGroups::TokenGroups(const std::vector<std::string>& digits, unsigned char blank, Route route)
    : blank_(blank) {
    if (route < Route::sse2 || digits.empty() || digits[0].size() >= sizeof(std::uint64_t)) return;
    std::vector<int> meanings;
    for (const std::string& token : digits) {
        if (token.find('\xFF') != std::string::npos) return;
        meanings.push_back(int(meanings.size()));
    }
    token_characters_ = digits[0].size();
    usable_ = take(digits, meanings, std::int64_t(digits.size()), route);
}

bool TokenGroups::take(const std::vector<std::string>& tokens, const std::vector<int>& digits,
                       std::int64_t base, Route route) {
    if (tokens.empty()) return false;
    length_ = tokens[0].size();
    if (length_ == 0 || length_ > sizeof(std::uint64_t)) return false;
    for (const std::string& token : tokens) {
        if (token.size() != length_) return false;
    }
    unsigned char ones[sizeof(std::uint64_t)] = {};
    std::memset(ones, 0xFF, length_);
    mask_ = load(ones);
    std::vector<std::uint64_t> keys;
    for (const std::string& token : tokens) {
        unsigned char bytes[sizeof(std::uint64_t)] = {};
        std::memcpy(bytes, token.data(), length_);
        keys.push_back(load(bytes));
    }
    if (!place(keys.data(), digits.data(), keys.size())) return false;
    base_ = unsigned(base);
    for (std::uint64_t power = 1; power <= (std::uint64_t(1) << 63) / base_; power *= base_)
        ++most_digits_;
    margin_ = most_digits_ * length_ + sizeof(std::uint64_t);
    std::vector<std::string> by_digit(base_);
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        if (!by_digit[std::size_t(digits[k])].empty()) return true;
        by_digit[std::size_t(digits[k])] = tokens[k];
    }
    if (tokens.size() == base_) vectors_ = TokenVectors(by_digit, blank_, route);
    return true;
}

bool TokenGroups::place(const std::uint64_t* keys, const int* digits, std::size_t count) {
    for (std::uint64_t multiplier : kMultipliers) {
        multiplier_ = multiplier;
        for (Slot& slot : slots_) slot = {kNoKey, 0};
        bool apart = true;
        for (std::size_t k = 0; k < count && apart; ++k) {
            Slot& slot = slots_[(keys[k] * multiplier_) >> (64 - kSlotBits)];
            apart = slot.key == kNoKey;
            slot = {keys[k], std::uint64_t(digits[k])};
        }
        if (apart) return true;
    }
    return false;
}

template <unsigned Base>
std::size_t TokenGroups::read_in_base(const unsigned char*& from, const unsigned char* end,
                                      CodePoint* read, std::size_t most,
                                      std::uint64_t& characters) const {
    const std::uint64_t base = Base != 0 ? Base : base_;
    const std::size_t length = length_;
    const std::uint64_t mask = mask_;
    const unsigned char* const start = from;
    const unsigned char* p = from;
    std::size_t count = 0;
    std::uint64_t groups = 0;
    while (std::size_t(end - p) >= margin_ && count < most) {
        const unsigned char* const limit = p + most_digits_ * length;
        const unsigned char* q = p;
        std::uint64_t value = 0;
        for (;;) {
            const std::uint64_t key = load(q) & mask;
            const Slot& slot = slot_of(key);
            if (slot.key != key) break;
            value = value * base + slot.digit;
            q += length;
            if (q > limit) break;
        }
        if (q > limit || *q != blank_ || value > kMaxCodePoint || is_surrogate(value)) break;
        read[count] = CodePoint(value);
        count += std::size_t(q != p);
        ++groups;
        p = q + 1;
    }
    const std::uint64_t digit_bytes = std::uint64_t(p - start) - groups;
    characters += digit_bytes / length * token_characters_ + groups;
    from = p;
    return count;
}

std::size_t TokenGroups::read_each(const unsigned char*& from, const unsigned char* end,
                                   CodePoint* read, std::size_t most,
                                   std::uint64_t& characters) const {
    if (base_ == 2) return read_in_base<2>(from, end, read, most, characters);
    if (base_ == 3) return read_in_base<3>(from, end, read, most, characters);
    return read_in_base<0>(from, end, read, most, characters);
}

std::size_t TokenGroups::read(const unsigned char*& from, const unsigned char* end, CodePoint* read,
                              std::uint64_t& characters) const {
    if (!vectors_.usable()) return read_each(from, end, read, kMostRead, characters);
    // Groups the vectors leave, one at a time, until neither way reads on.
    std::size_t count = 0;
    while (count < kMostRead) {
        std::uint64_t tokens = 0, groups = 0;
        count += vectors_.read(from, end, read + count, kMostRead - count, tokens, groups);
        characters += tokens * token_characters_ + groups;
        if (count == kMostRead) break;
        const unsigned char* const stopped = from;
        count += read_each(from, end, read + count, 1, characters);
        if (from == stopped) break;
    }
    return count;
}

}  // namespace engine
