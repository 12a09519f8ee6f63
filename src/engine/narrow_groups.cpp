#include "engine/narrow_groups.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "engine/cpu_features.hpp"
#include "engine/run_groups.hpp"
#include "engine/token_alphabet.hpp"

#ifdef MIRELO_SSE2
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

NarrowGroups::NarrowGroups(const std::vector<Pass>& passes, std::int64_t base, Way way)
    : wide_(way == Way::fastest && processor_has_avx2()) {
    const std::vector<CodePoint> blanks = blank_candidates(passes);
    for (const CodePoint blank : blanks) {
        if (take_tokens(passes, base, blank)) return;
    }
    for (const CodePoint blank : blanks) {
        RunGroups runs(passes, base, blank,
                       way == Way::fastest ? RunGroups::Way::fastest : RunGroups::Way::plain);
        static_assert(1 + RunGroups::kMostTerminators <= kMostCharacters, "runs' characters fit");
        if (!runs.usable()) continue;
        blank_ = blank;
        for (const CodePoint c : runs.characters()) characters_[character_count_++] = c;
        runs_ = std::move(runs);
        return;
    }
}

bool NarrowGroups::take_tokens(const std::vector<Pass>& passes, std::int64_t base,
                               CodePoint blank) {
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
    // Narrowed groups fit in a few bytes, where 16-byte vectors are no slower.
    vectors_ = TokenVectors(narrowed, kBlankByte, TokenVectors::Width::narrow);
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

#ifdef MIRELO_SSE2

// The loops below pass vectors of 32 bytes between functions that are always
// compiled into callers with AVX2, where the warning about their calling
// convention without AVX2 does not apply.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace {

// Vectors of 16 bytes, which every 64-bit x86 processor has.
struct Narrow {
    using V = __m128i;
    static V load(const void* p) { return _mm_loadu_si128(static_cast<const V*>(p)); }
    static void store(void* p, V v) { _mm_storeu_si128(static_cast<V*>(p), v); }
    static V bytes(unsigned char b) { return _mm_set1_epi8(static_cast<char>(b)); }
    static V units(std::uint16_t u) { return _mm_set1_epi16(static_cast<short>(u)); }
    // Each lane a character of the text's width.
    template <typename CharT>
    static V lanes(unsigned value) {
        return sizeof(CharT) == 2 ? units(static_cast<std::uint16_t>(value))
                                  : bytes(static_cast<unsigned char>(value));
    }
    static V same_bytes(V a, V b) { return _mm_cmpeq_epi8(a, b); }
    static V same_units(V a, V b) { return _mm_cmpeq_epi16(a, b); }
    static V either(V a, V b) { return _mm_or_si128(a, b); }
    static V both(V a, V b) { return _mm_and_si128(a, b); }
    static V second_only(V a, V b) { return _mm_andnot_si128(a, b); }
    static V zero() { return _mm_setzero_si128(); }
    // The low bytes of two vectors of units up to 0xFF, in order.
    static V packed(V low, V high) { return _mm_packus_epi16(low, high); }
};

// Vectors of 32 bytes.
struct Wide {
    using V = __m256i;
    MIRELO_AVX2 static V load(const void* p) {
        return _mm256_loadu_si256(static_cast<const V*>(p));
    }
    MIRELO_AVX2 static void store(void* p, V v) { _mm256_storeu_si256(static_cast<V*>(p), v); }
    MIRELO_AVX2 static V bytes(unsigned char b) { return _mm256_set1_epi8(static_cast<char>(b)); }
    MIRELO_AVX2 static V units(std::uint16_t u) { return _mm256_set1_epi16(static_cast<short>(u)); }
    template <typename CharT>
    MIRELO_AVX2 static V lanes(unsigned value) {
        return sizeof(CharT) == 2 ? units(static_cast<std::uint16_t>(value))
                                  : bytes(static_cast<unsigned char>(value));
    }
    MIRELO_AVX2 static V same_bytes(V a, V b) { return _mm256_cmpeq_epi8(a, b); }
    MIRELO_AVX2 static V same_units(V a, V b) { return _mm256_cmpeq_epi16(a, b); }
    MIRELO_AVX2 static V either(V a, V b) { return _mm256_or_si256(a, b); }
    MIRELO_AVX2 static V both(V a, V b) { return _mm256_and_si256(a, b); }
    MIRELO_AVX2 static V second_only(V a, V b) { return _mm256_andnot_si256(a, b); }
    MIRELO_AVX2 static V zero() { return _mm256_setzero_si256(); }
    // Packing works within each half; the quarters are put back in order.
    MIRELO_AVX2 static V packed(V low, V high) {
        return _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8);
    }
};

// The characters a text of one kind can hold that have bytes of their own.
struct Known {
    static constexpr std::size_t kMost = NarrowGroups::kMostCharacters + 1;
    CodePoint characters[kMost];
    unsigned char bytes[kMost];
    std::size_t count = 0;
};

// Each lane compared with every known character: its byte where one is
// equal, kOtherByte where none is.
template <typename Ops, bool Units>
MIRELO_INLINE typename Ops::V narrowed_lanes(typename Ops::V text,
                                             const typename Ops::V* characters,
                                             const typename Ops::V* bytes, std::size_t count,
                                             typename Ops::V other) {
    typename Ops::V known = Ops::zero();
    typename Ops::V result = Ops::zero();
    for (std::size_t k = 0; k < count; ++k) {
        const typename Ops::V same =
            Units ? Ops::same_units(text, characters[k]) : Ops::same_bytes(text, characters[k]);
        known = Ops::either(known, same);
        result = Ops::either(result, Ops::both(same, bytes[k]));
    }
    return Ops::either(result, Ops::second_only(known, other));
}

// Narrows whole vectors of text; returns the count of characters narrowed.
// Units are narrowed two vectors at a time, and packed into one.
template <typename Ops, typename CharT>
MIRELO_INLINE std::size_t narrow_vectors(const CharT* text, std::size_t length, unsigned char* out,
                                         const Known& known, unsigned char other_byte) {
    using V = typename Ops::V;
    constexpr bool kUnits = sizeof(CharT) == 2;
    V characters[Known::kMost], bytes[Known::kMost];
    for (std::size_t k = 0; k < known.count; ++k) {
        characters[k] = Ops::template lanes<CharT>(unsigned(known.characters[k]));
        bytes[k] = Ops::template lanes<CharT>(known.bytes[k]);
    }
    // In units: packing keeps only the low byte of a lane up to 0xFF.
    const V other = Ops::template lanes<CharT>(other_byte);
    std::size_t i = 0;
    for (; length - i >= sizeof(V); i += sizeof(V)) {
        const V first =
            narrowed_lanes<Ops, kUnits>(Ops::load(text + i), characters, bytes, known.count, other);
        if constexpr (kUnits) {
            const V second = narrowed_lanes<Ops, kUnits>(Ops::load(text + i + sizeof(V) / 2),
                                                         characters, bytes, known.count, other);
            Ops::store(out + i, Ops::packed(first, second));
        } else {
            Ops::store(out + i, first);
        }
    }
    return i;
}

template <typename CharT>
std::size_t narrow_narrow(const CharT* text, std::size_t length, unsigned char* out,
                          const Known& known, unsigned char other) {
    return narrow_vectors<Narrow>(text, length, out, known, other);
}

template <typename CharT>
MIRELO_AVX2 std::size_t narrow_wide(const CharT* text, std::size_t length, unsigned char* out,
                                    const Known& known, unsigned char other) {
    return narrow_vectors<Wide>(text, length, out, known, other);
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
    const std::size_t done = wide_ ? narrow_wide(text, length, bytes, known, kOtherByte)
                                   : narrow_narrow(text, length, bytes, known, kOtherByte);
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
