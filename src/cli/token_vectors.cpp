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

void fill_weights(TokenVectors::Tables& tables, unsigned base) {
    for (unsigned count = 0; count <= TokenVectors::kLanes; ++count) {
        for (unsigned k = 0; k < count; ++k) {
            const unsigned place = count - 1 - k;
            std::int32_t weight = 1;
            for (unsigned e = 0; e < place % 8; ++e) weight *= std::int32_t(base);
            (place < 8 ? tables.low_weights : tables.high_weights)[count][k] = std::int16_t(weight);
        }
    }
}

}  // namespace

TokenVectors::TokenVectors(const std::vector<std::string>& digits, unsigned char blank)
    : base_(unsigned(digits.size())), blank_(blank) {
    if (!processor_has_ssse3() || (base_ != 3 && base_ != 4)) return;
    const std::size_t length = digits[0].size();
    if (length == 0 || length * kLanes > kWindow || length * base_ > 16) return;
    std::size_t telling = 0;
    if (!find_telling_half(digits, telling, high_half_)) return;
    Tables& t = tables_;
    for (std::size_t i = 0; i < kWindow; ++i) {
        const std::size_t token = i / length;
        const bool whole = token < kLanes;
        t.token_of_byte[i / 16][i % 16] = whole ? std::uint8_t(token) : kZero;
        t.place_in_token[i / 16][i % 16] = std::uint8_t(i % length);
        t.gather[i / 16][i % 16] = kZero;
        t.tokens_in[i] = i % length == 0 && token <= kLanes ? std::uint8_t(token) : kNone;
    }
    for (std::size_t k = 0; k < kLanes; ++k) {
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
    fill_weights(t, base_);
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
MIRELO_SSSE3 std::uint64_t mask_of(const __m128i* equal) {
    std::uint64_t mask = 0;
    for (unsigned j = 0; j < 4; ++j)
        mask |= std::uint64_t(unsigned(_mm_movemask_epi8(equal[j]))) << (16 * j);
    return mask;
}

// The sum of the digits times their weights: the low eight places' and the
// high eight places' sums, each in 32 bits.
MIRELO_SSSE3 std::uint64_t weighed(__m128i digits, const std::int16_t* low,
                                   const std::int16_t* high, std::uint32_t eighth_power) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i first = _mm_unpacklo_epi8(digits, zero);
    const __m128i second = _mm_unpackhi_epi8(digits, zero);
    const __m128i low_sum = _mm_add_epi32(_mm_madd_epi16(first, load_aligned(low)),
                                          _mm_madd_epi16(second, load_aligned(low + 8)));
    const __m128i high_sum = _mm_add_epi32(_mm_madd_epi16(first, load_aligned(high)),
                                           _mm_madd_epi16(second, load_aligned(high + 8)));
    const __m128i pairs = _mm_hadd_epi32(low_sum, high_sum);
    const __m128i sums = _mm_hadd_epi32(pairs, pairs);
    const std::uint32_t low_value = std::uint32_t(_mm_cvtsi128_si32(sums));
    const std::uint32_t high_value = std::uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(sums, 4)));
    return std::uint64_t(high_value) * eighth_power + low_value;
}

MIRELO_SSSE3 std::size_t read_windows(const TokenVectors::Tables& t, unsigned base,
                                      unsigned char blank_byte, bool high_half,
                                      const unsigned char*& from, const unsigned char* end,
                                      engine::CodePoint* read, std::size_t most,
                                      std::uint64_t& tokens, std::uint64_t& groups) {
    std::uint32_t eighth_power = 1;
    for (unsigned e = 0; e < 8; ++e) eighth_power *= base;
    const __m128i blank = _mm_set1_epi8(static_cast<char>(blank_byte));
    const __m128i half = _mm_set1_epi8(0x0F);
    const __m128i digit_of_half = load_aligned(t.digit_of_half);
    const __m128i first_byte_of = load_aligned(t.first_byte_of);
    const __m128i token_bytes = load_aligned(t.token_bytes);
    const unsigned char* p = from;
    std::size_t count = 0;
    while (std::size_t(end - p) >= TokenVectors::kWindow && count < most) {
        __m128i window[4], found[4];
        for (unsigned j = 0; j < 4; ++j) {
            window[j] = load(p + 16 * j);
            found[j] = _mm_cmpeq_epi8(window[j], blank);
        }
        const std::uint64_t blanks = mask_of(found);
        if (blanks == 0) break;
        const unsigned length = lowest_bit(blanks);
        const unsigned count_of_tokens = t.tokens_in[length];
        if (count_of_tokens == TokenVectors::kNone) break;

        __m128i telling = _mm_shuffle_epi8(window[0], load_aligned(t.gather[0]));
        for (unsigned j = 1; j < 4; ++j)
            telling = _mm_or_si128(telling, _mm_shuffle_epi8(window[j], load_aligned(t.gather[j])));
        if (high_half) telling = _mm_srli_epi16(telling, 4);
        const __m128i digits = _mm_shuffle_epi8(digit_of_half, _mm_and_si128(telling, half));

        // The bytes the digits' tokens would have, against the bytes there.
        const __m128i starts = _mm_shuffle_epi8(first_byte_of, digits);
        __m128i same[4];
        for (unsigned j = 0; j < 4; ++j) {
            const __m128i at =
                _mm_add_epi8(_mm_shuffle_epi8(starts, load_aligned(t.token_of_byte[j])),
                             load_aligned(t.place_in_token[j]));
            same[j] = _mm_cmpeq_epi8(_mm_shuffle_epi8(token_bytes, at), window[j]);
        }
        if ((~mask_of(same) & low_bits(length)) != 0) break;

        const std::uint64_t value = weighed(digits, t.low_weights[count_of_tokens],
                                            t.high_weights[count_of_tokens], eighth_power);
        if (value > engine::kMaxCodePoint || (value & ~std::uint64_t(0x7FF)) == 0xD800) break;
        read[count] = engine::CodePoint(value);
        count += std::size_t(count_of_tokens != 0);
        tokens += count_of_tokens;
        ++groups;
        p += length + 1;
    }
    from = p;
    return count;
}

}  // namespace

std::size_t TokenVectors::read(const unsigned char*& from, const unsigned char* end,
                               engine::CodePoint* read, std::size_t most, std::uint64_t& tokens,
                               std::uint64_t& groups) const {
    return read_windows(tables_, base_, blank_, high_half_, from, end, read, most, tokens, groups);
}

#else

std::size_t TokenVectors::read(const unsigned char*&, const unsigned char*, engine::CodePoint*,
                               std::size_t, std::uint64_t&, std::uint64_t&) const {
    return 0;
}

#endif

}  // namespace cli
