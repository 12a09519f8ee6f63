#include "engine/kernels/narrow_groups.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "engine/kernels/run_groups.hpp"
#include "engine/token_alphabet.hpp"
#include "target_attributes.hpp"

#ifdef MIRELO_X86
#include <immintrin.h>
#endif

namespace engine {

namespace {

// The characters that may end a group: those a pass turns into whitespace
// alone, then the space the encoder writes.
std::vector<CodePoint> blank_candidates(const std::vector<Pass>& passes) {
    std::vector<CodePoint> candidates;
    for (const Pass& pass : passes) {
        if (pass.pattern.size() == 1 && is_blank_text(pass.replacement))
            candidates.push_back(pass.pattern[0]);
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

NarrowGroups::NarrowGroups(Decoder& decoder, const std::vector<Pass>& passes, Route route) {
    if (route < Route::avx2) return;
    const std::int64_t base = decoder.base();
    const std::vector<CodePoint> blanks = blank_candidates(passes);
    for (const CodePoint blank : blanks) {
        if (!take_tokens(passes, base, blank, route)) continue;
        if (blank < 0x80) binary_ = BinaryGroups(decoder, static_cast<unsigned char>(blank), route);
        return;
    }
    for (const CodePoint blank : blanks) {
        RunGroups runs(passes, base, blank, route);
        static_assert(1 + RunGroups::kMostTerminators <= kMostCharacters, "runs' characters fit");
        if (!runs.usable()) continue;
        blank_ = blank;
        for (const CodePoint c : runs.characters()) characters_[character_count_++] = c;
        runs_ = RunPlanes(std::move(runs), kBlankByte);
        return;
    }
}

bool NarrowGroups::take_tokens(const std::vector<Pass>& passes, std::int64_t base, CodePoint blank,
                               Route route) {
    if (base != 2 && base != 3) return false;
    const std::vector<Token> tokens = tokens_of(passes, base, blank);
    if (tokens.empty()) return false;
    const std::vector<Text> digits = digit_tokens(tokens, base);
    if (digits.empty()) return false;
    // Kept only once every token fits, so that a refusal leaves nothing behind.
    CodePoint characters[kMostCharacters] = {};
    std::size_t count = 0;
    std::vector<std::string> narrowed;
    for (const Text& token : digits) {
        std::string bytes;
        for (const CodePoint c : token) {
            if (c == blank) return false;
            const std::size_t k =
                std::size_t(std::find(characters, characters + count, c) - characters);
            if (k == kMostCharacters) return false;
            characters[k] = c;
            count = std::max(count, k + 1);
            bytes += static_cast<char>(0x80 + k);
        }
        narrowed.push_back(bytes);
    }
    std::copy(characters, characters + count, characters_);
    character_count_ = count;
    blank_ = blank;
    tokens_ = TokenGroups(narrowed, kBlankByte, route);
    return true;
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

#ifdef MIRELO_X86

namespace {

// The characters a text of one kind can hold that have bytes of their own.
struct Known {
    static constexpr std::size_t kMost = NarrowGroups::kMostCharacters + 1;
    CodePoint characters[kMost];
    unsigned char bytes[kMost];
    std::size_t count = 0;
};

// Each lane a character of the text's width.
template <typename CharT>
MIRELO_AVX2 __m256i lanes(unsigned value) {
    return sizeof(CharT) == 2 ? _mm256_set1_epi16(static_cast<short>(value))
                              : _mm256_set1_epi8(static_cast<char>(value));
}

// Each lane compared with every known character: its byte where one is
// equal, `other` where none is.
template <typename CharT>
MIRELO_AVX2 MIRELO_INLINE __m256i narrowed_lanes(__m256i text, const __m256i* characters,
                                                 const __m256i* bytes, std::size_t count,
                                                 __m256i other) {
    __m256i known = _mm256_setzero_si256();
    __m256i result = _mm256_setzero_si256();
    for (std::size_t k = 0; k < count; ++k) {
        const __m256i same = sizeof(CharT) == 2 ? _mm256_cmpeq_epi16(text, characters[k])
                                                : _mm256_cmpeq_epi8(text, characters[k]);
        known = _mm256_or_si256(known, same);
        result = _mm256_or_si256(result, _mm256_and_si256(same, bytes[k]));
    }
    return _mm256_or_si256(result, _mm256_andnot_si256(known, other));
}

// Narrows whole vectors of text; returns the count of characters narrowed.
// Units are narrowed two vectors at a time and packed into one, whose
// quarters packing leaves out of order.
template <typename CharT>
MIRELO_AVX2 std::size_t narrow_vectors(const CharT* text, std::size_t length, unsigned char* out,
                                       const Known& known, unsigned char other_byte) {
    __m256i characters[Known::kMost], bytes[Known::kMost];
    for (std::size_t k = 0; k < known.count; ++k) {
        characters[k] = lanes<CharT>(unsigned(known.characters[k]));
        bytes[k] = lanes<CharT>(known.bytes[k]);
    }
    // In units: packing keeps only the low byte of a lane up to 0xFF.
    const __m256i other = lanes<CharT>(other_byte);
    std::size_t i = 0;
    for (; length - i >= 32; i += 32) {
        const __m256i* const vectors = reinterpret_cast<const __m256i*>(text + i);
        __m256i narrowed = narrowed_lanes<CharT>(_mm256_loadu_si256(vectors), characters, bytes,
                                                 known.count, other);
        if constexpr (sizeof(CharT) == 2) {
            const __m256i second = narrowed_lanes<CharT>(_mm256_loadu_si256(vectors + 1),
                                                         characters, bytes, known.count, other);
            narrowed = _mm256_permute4x64_epi64(_mm256_packus_epi16(narrowed, second), 0xD8);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), narrowed);
    }
    return i;
}

}  // namespace

template <typename CharT>
void NarrowGroups::narrow_any(const CharT* text, std::size_t length, unsigned char* bytes) const {
    // The blank and the characters that a CharT can hold.
    Known known;
    const auto add = [&](CodePoint c) {
        if (c > std::numeric_limits<CharT>::max()) return;
        known.characters[known.count] = c;
        known.bytes[known.count++] = byte_of(c);
    };
    add(blank_);
    for (std::size_t k = 0; k < character_count_; ++k) add(characters_[k]);
    const std::size_t done = narrow_vectors(text, length, bytes, known, kOtherByte);
    narrow_from(text, done, length, bytes);
}

#else

template <typename CharT>
void NarrowGroups::narrow_any(const CharT* text, std::size_t length, unsigned char* bytes) const {
    narrow_from(text, 0, length, bytes);
}

#endif

void NarrowGroups::narrow(const std::uint8_t* text, std::size_t length,
                          unsigned char* bytes) const {
    narrow_any(text, length, bytes);
}

void NarrowGroups::narrow(const std::uint16_t* text, std::size_t length,
                          unsigned char* bytes) const {
    narrow_any(text, length, bytes);
}

}  // namespace engine
