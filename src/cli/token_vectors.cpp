#include "cli/token_vectors.hpp"

#include <set>

#include "cli/bits.hpp"
#include "cli/ssse3.hpp"

#ifdef MIRELO_X86
#include <immintrin.h>
#endif

namespace cli {

namespace {

constexpr std::uint8_t kZero = 0x80;  // a shuffle index that gives 0

// Which byte of a token, and which half of it, differs between all tokens:
// false when none does.
bool find_telling_half(const std::vector<std::string>& digits, std::size_t& byte, bool& high) {
    for (byte = 0; byte < digits[0].size(); ++byte) {
        for (const bool half : {false, true}) {
            std::set<unsigned> seen;
            for (const std::string& token : digits) {
                const unsigned value = static_cast<unsigned char>(token[byte]);
                seen.insert(half ? value >> 4 : value & 0x0F);
            }
            if (seen.size() == digits.size()) {
                high = half;
                return true;
            }
        }
    }
    return false;
}

}  // namespace

TokenVectors::TokenVectors(const std::vector<std::string>& digits, unsigned char blank)
    : vectors_(digits.empty() ? 0 : digits[0].size()), blank_(blank) {
    if (!processor_has_ssse3() || digits.size() != 3) return;
    const std::size_t length = vectors_;
    if (length == 0 || length > kMostVectors) return;
    std::size_t telling = 0;
    if (!find_telling_half(digits, telling, high_half_)) return;
    Tables& t = tables_;
    for (std::size_t i = 0; i < 16 * kMostVectors; ++i) {
        const std::size_t token = i / length;
        t.token_of_byte[i / 16][i % 16] = token < 16 ? std::uint8_t(token) : kZero;
        t.place_in_token[i / 16][i % 16] = std::uint8_t(i % length);
        t.gather[i / 16][i % 16] = kZero;
        t.tokens_in[i] = i % length == 0 && token <= kMostTokens ? std::uint8_t(token) : kNone;
    }
    for (std::size_t k = 0; k < 16 && k * length + telling < 16 * length; ++k) {
        const std::size_t at = k * length + telling;
        t.gather[at / 16][k] = std::uint8_t(at % 16);
    }
    for (std::size_t d = 0; d < digits.size(); ++d) {
        const unsigned value = static_cast<unsigned char>(digits[d][telling]);
        t.digit_of_half[high_half_ ? value >> 4 : value & 0x0F] = std::uint8_t(d);
        t.first_byte_of[d] = std::uint8_t(d * length);
        for (std::size_t r = 0; r < length; ++r)
            t.token_bytes[d * length + r] = static_cast<std::uint8_t>(digits[d][r]);
    }
    for (unsigned count = 0; count <= kMostTokens; ++count) {
        for (unsigned lane = 0; lane < 16; ++lane) {
            const unsigned from_end = 15 - lane;
            t.align[count][lane] = from_end < count ? std::uint8_t(count - 1 - from_end) : kZero;
        }
    }
    usable_ = true;
}

#ifdef MIRELO_X86

namespace {

MIRELO_SSSE3 __m128i load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
MIRELO_SSSE3 __m128i load_aligned(const void* p) {
    return _mm_load_si128(static_cast<const __m128i*>(p));
}

// Bit i of the result for byte i of the window.
template <std::size_t Vectors>
MIRELO_SSSE3 std::uint64_t mask_of(const __m128i* equal) {
    std::uint64_t mask = 0;
    for (std::size_t j = 0; j < Vectors; ++j)
        mask |= std::uint64_t(unsigned(_mm_movemask_epi8(equal[j]))) << (16 * j);
    return mask;
}

// The number that sixteen base-3 digits, most significant first, write.
MIRELO_SSSE3 std::uint32_t number_of(__m128i digits) {
    const __m128i pairs = _mm_maddubs_epi16(digits, _mm_set1_epi16(0x0103));
    const __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00010009));
    const __m128i eights =
        _mm_madd_epi16(_mm_packs_epi32(fours, fours), _mm_set1_epi32(0x00010051));
    const std::uint32_t high = std::uint32_t(_mm_cvtsi128_si32(eights));
    const std::uint32_t low = std::uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(eights, 4)));
    return high * 6561 + low;
}

template <std::size_t Vectors>
MIRELO_SSSE3 std::size_t read_windows(const TokenVectors::Tables& t, unsigned char blank_byte,
                                      bool high_half, const unsigned char*& from,
                                      const unsigned char* end, engine::CodePoint* read,
                                      std::size_t most, std::uint64_t& tokens_read,
                                      std::uint64_t& groups_read) {
    const __m128i blank = _mm_set1_epi8(static_cast<char>(blank_byte));
    const __m128i half = _mm_set1_epi8(0x0F);
    const __m128i digit_of_half = load_aligned(t.digit_of_half);
    const __m128i first_byte_of = load_aligned(t.first_byte_of);
    const __m128i token_bytes = load_aligned(t.token_bytes);
    const unsigned char* p = from;
    std::size_t count = 0;
    std::uint64_t tokens = 0;
    std::uint64_t groups = 0;
    while (std::size_t(end - p) >= 16 * Vectors && count < most) {
        __m128i window[Vectors], found[Vectors];
        for (std::size_t j = 0; j < Vectors; ++j) {
            window[j] = load(p + 16 * j);
            found[j] = _mm_cmpeq_epi8(window[j], blank);
        }
        const std::uint64_t blanks = mask_of<Vectors>(found);
        if (blanks == 0) break;
        const unsigned length = lowest_bit(blanks);
        const unsigned count_of_tokens = t.tokens_in[length];
        if (count_of_tokens == TokenVectors::kNone) break;

        __m128i telling = _mm_shuffle_epi8(window[0], load_aligned(t.gather[0]));
        for (std::size_t j = 1; j < Vectors; ++j)
            telling = _mm_or_si128(telling, _mm_shuffle_epi8(window[j], load_aligned(t.gather[j])));
        if (high_half) telling = _mm_srli_epi16(telling, 4);
        const __m128i digits = _mm_shuffle_epi8(digit_of_half, _mm_and_si128(telling, half));

        // The bytes the digits' tokens would have, against the bytes there.
        const __m128i starts = _mm_shuffle_epi8(first_byte_of, digits);
        __m128i same[Vectors];
        for (std::size_t j = 0; j < Vectors; ++j) {
            const __m128i at =
                _mm_add_epi8(_mm_shuffle_epi8(starts, load_aligned(t.token_of_byte[j])),
                             load_aligned(t.place_in_token[j]));
            same[j] = _mm_cmpeq_epi8(_mm_shuffle_epi8(token_bytes, at), window[j]);
        }
        if ((~mask_of<Vectors>(same) & low_bits(length)) != 0) break;

        const std::uint32_t value =
            number_of(_mm_shuffle_epi8(digits, load_aligned(t.align[count_of_tokens])));
        if (value > engine::kMaxCodePoint || (value & ~std::uint32_t(0x7FF)) == 0xD800) break;
        read[count] = engine::CodePoint(value);
        count += std::size_t(count_of_tokens != 0);
        tokens += count_of_tokens;
        ++groups;
        p += length + 1;
    }
    from = p;
    tokens_read += tokens;
    groups_read += groups;
    return count;
}

}  // namespace

std::size_t TokenVectors::read(const unsigned char*& from, const unsigned char* end,
                               engine::CodePoint* read, std::size_t most, std::uint64_t& tokens,
                               std::uint64_t& groups) const {
    switch (vectors_) {
        case 1:
            return read_windows<1>(tables_, blank_, high_half_, from, end, read, most, tokens,
                                   groups);
        case 2:
            return read_windows<2>(tables_, blank_, high_half_, from, end, read, most, tokens,
                                   groups);
        case 3:
            return read_windows<3>(tables_, blank_, high_half_, from, end, read, most, tokens,
                                   groups);
        default:
            return read_windows<4>(tables_, blank_, high_half_, from, end, read, most, tokens,
                                   groups);
    }
}

#else

std::size_t TokenVectors::read(const unsigned char*&, const unsigned char*, engine::CodePoint*,
                               std::size_t, std::uint64_t&, std::uint64_t&) const {
    return 0;
}

#endif

}  // namespace cli
