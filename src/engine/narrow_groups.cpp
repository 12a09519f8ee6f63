#include "engine/narrow_groups.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/cpu_features.hpp"
#include "engine/token_alphabet.hpp"

namespace engine {

namespace {

// The characters that may end a group: those a pass turns into whitespace
// alone, then the space the encoder writes.
std::vector<CodePoint> blank_candidates(const std::vector<Pass>& passes) {
    std::vector<CodePoint> candidates;
    for (const Pass& pass : passes) {
        const bool blank = !pass.replacement.empty() &&
                           std::all_of(pass.replacement.begin(), pass.replacement.end(),
                                       [](CodePoint c) { return is_whitespace(c); });
        if (pass.pattern.size() == 1 && blank) candidates.push_back(pass.pattern[0]);
    }
    candidates.push_back(U' ');
    return candidates;
}

// The digit tokens by digit, when there is exactly one for each digit of the
// base and all are of one length.
std::vector<Text> digit_tokens(const std::vector<Token>& tokens, std::int64_t base) {
    std::vector<Text> by_digit(static_cast<std::size_t>(base));
    for (const Token& token : tokens) {
        if (token.meaning < 0) continue;
        Text& slot = by_digit[std::size_t(token.meaning)];
        if (!slot.empty()) return {};
        slot = token.text;
    }
    for (const Text& token : by_digit) {
        if (token.empty() || token.size() != by_digit[0].size()) return {};
    }
    return by_digit;
}

}  // namespace

NarrowGroups::NarrowGroups(const std::vector<Pass>& passes, std::int64_t base) {
    if (base != 2 && base != 3) return;
    for (const CodePoint blank : blank_candidates(passes)) {
        const std::vector<Token> tokens = tokens_of(passes, base, blank);
        if (tokens.empty()) continue;
        const std::vector<Text> digits = digit_tokens(tokens, base);
        if (digits.empty()) return;
        blank_ = blank;
        std::vector<std::string> narrowed;
        for (const Text& token : digits) {
            std::string bytes;
            for (const CodePoint c : token) {
                if (c == blank) return;
                std::size_t k = 0;
                while (k < character_count_ && characters_[k] != c) ++k;
                if (k == kMostCharacters) return;
                characters_[k] = c;
                character_count_ = std::max(character_count_, k + 1);
                bytes += static_cast<char>(0x80 + k);
            }
            narrowed.push_back(bytes);
        }
        // Narrowed groups fit in a few bytes, where 16-byte vectors are no slower.
        vectors_ = TokenVectors(narrowed, kBlankByte, TokenVectors::Width::narrow);
        return;
    }
}

unsigned char NarrowGroups::byte_of(CodePoint c) const {
    if (c == blank_) return kBlankByte;
    for (std::size_t k = 0; k < character_count_; ++k) {
        if (characters_[k] == c) return static_cast<unsigned char>(0x80 + k);
    }
    return kOtherByte;
}

template <typename CharT>
void NarrowGroups::narrow_from(const CharT* text, std::size_t from, std::size_t length,
                               unsigned char* bytes) const {
    for (std::size_t i = from; i < length; ++i) bytes[i] = byte_of(text[i]);
    std::memset(bytes + length, kOtherByte, kWindow);
}

#ifdef MIRELO_SSE2

namespace {

// Sixteen characters at a time: each lane compared with every known
// character, its byte taken where one is equal, kOtherByte where none is.
template <typename Equal>
__m128i bytes_of(__m128i text, const __m128i* characters, const __m128i* bytes, std::size_t count,
                 __m128i other, Equal equal) {
    __m128i known = _mm_setzero_si128();
    __m128i result = _mm_setzero_si128();
    for (std::size_t k = 0; k < count; ++k) {
        const __m128i same = equal(text, characters[k]);
        known = _mm_or_si128(known, same);
        result = _mm_or_si128(result, _mm_and_si128(same, bytes[k]));
    }
    return _mm_or_si128(result, _mm_andnot_si128(known, other));
}

}  // namespace

void NarrowGroups::narrow(const std::uint8_t* text, std::size_t length,
                          unsigned char* bytes) const {
    // The blank and the characters that fit in a byte.
    __m128i characters[kMostCharacters + 1], codes[kMostCharacters + 1];
    std::size_t count = 0;
    const auto add = [&](CodePoint c) {
        if (c > 0xFF) return;
        characters[count] = _mm_set1_epi8(static_cast<char>(c));
        codes[count++] = _mm_set1_epi8(static_cast<char>(byte_of(c)));
    };
    add(blank_);
    for (std::size_t k = 0; k < character_count_; ++k) add(characters_[k]);
    const __m128i other = _mm_set1_epi8(static_cast<char>(kOtherByte));
    std::size_t i = 0;
    for (; length - i >= 16; i += 16) {
        const __m128i text16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + i),
                         bytes_of(text16, characters, codes, count, other, _mm_cmpeq_epi8));
    }
    narrow_from(text, i, length, bytes);
}

void NarrowGroups::narrow(const std::uint16_t* text, std::size_t length,
                          unsigned char* bytes) const {
    __m128i characters[kMostCharacters + 1], codes[kMostCharacters + 1];
    std::size_t count = 0;
    const auto add = [&](CodePoint c) {
        if (c > 0xFFFF) return;
        characters[count] = _mm_set1_epi16(static_cast<short>(c));
        codes[count++] = _mm_set1_epi16(byte_of(c));
    };
    add(blank_);
    for (std::size_t k = 0; k < character_count_; ++k) add(characters_[k]);
    // 0x00FF: packing takes the low bytes of lanes that hold at most 0xFF.
    const __m128i other = _mm_set1_epi16(kOtherByte);
    std::size_t i = 0;
    for (; length - i >= 16; i += 16) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + 8));
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(bytes + i),
            _mm_packus_epi16(bytes_of(low, characters, codes, count, other, _mm_cmpeq_epi16),
                             bytes_of(high, characters, codes, count, other, _mm_cmpeq_epi16)));
    }
    narrow_from(text, i, length, bytes);
}

#else

void NarrowGroups::narrow(const std::uint8_t* text, std::size_t length,
                          unsigned char* bytes) const {
    narrow_from(text, 0, length, bytes);
}

void NarrowGroups::narrow(const std::uint16_t* text, std::size_t length,
                          unsigned char* bytes) const {
    narrow_from(text, 0, length, bytes);
}

#endif

}  // namespace engine
