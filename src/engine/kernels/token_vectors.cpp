#include "engine/kernels/token_vectors.hpp"

#include <set>
#include <type_traits>

#include "bits.hpp"
#include "target_attributes.hpp"

#ifdef MIRELO_X86
#include <immintrin.h>
#endif

namespace engine {

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

// The most digits a group the vectors read may have: enough for every
// character in base 3, and for those up to U+FFFF in base 2.
unsigned most_tokens(unsigned base) {
    return base == 2 ? 16 : 15;
}

void fill_weights(TokenVectors::Tables& t, unsigned base) {
    for (unsigned k = 0; k < 16; ++k) t.pair_weights[k] = std::uint8_t(k % 2 == 0 ? base : 1);
    for (unsigned k = 0; k < 8; ++k) {
        t.four_weights[k] = std::int16_t(k % 2 == 0 ? base * base : 1);
        t.eight_weights[k] = std::int16_t(k % 2 == 0 ? base * base * base * base : 1);
    }
    t.eighth_power = base * base * base * base * base * base * base * base;
}

}  // namespace

TokenVectors::TokenVectors(const std::vector<std::string>& digits, unsigned char blank, Route route)
    : blank_(blank) {
    const unsigned base = unsigned(digits.size());
    if (route < Route::ssse3 || (base != 2 && base != 3)) return;
    const std::size_t length = digits[0].size();
    const unsigned most = most_tokens(base);
    vectors_ = (most * length + 1 + 15) / 16;
    if (length == 0 || vectors_ > kMostVectors || base * length > 16) return;
    std::size_t telling = 0;
    if (!find_telling_half(digits, telling, high_half_)) return;
    Tables& t = tables_;
    for (std::size_t i = 0; i < 16 * kRows; ++i) {
        const std::size_t token = i / length;
        t.token_of_byte[i / 16][i % 16] = token < kLanes ? std::uint8_t(token) : kZero;
        t.place_in_token[i / 16][i % 16] = std::uint8_t(i % length);
        t.gather[i / 16][i % 16] = kZero;
        t.tokens_in[i] = i % length == 0 && token <= most ? std::uint8_t(token) : kNone;
    }
    for (std::size_t k = 0; k < kLanes && k * length + telling < 16 * vectors_; ++k) {
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
    for (unsigned count = 0; count <= kLanes; ++count) {
        for (unsigned lane = 0; lane < 16; ++lane) {
            const unsigned from_end = 15 - lane;
            t.align[count][lane] = from_end < count ? std::uint8_t(count - 1 - from_end) : kZero;
        }
    }
    fill_weights(t, base);
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

// One bit per byte of a window of up to 128 bytes.
struct WindowMask {
    std::uint64_t low = 0;   // bytes 0 to 63
    std::uint64_t high = 0;  // bytes 64 to 127
};

template <std::size_t Vectors>
MIRELO_SSSE3 WindowMask mask_of(const __m128i* equal) {
    WindowMask mask;
    for (std::size_t j = 0; j < Vectors; ++j) {
        const std::uint64_t bits = unsigned(_mm_movemask_epi8(equal[j]));
        (j < 4 ? mask.low : mask.high) |= bits << (16 * (j % 4));
    }
    return mask;
}
// Where the first set bit is, without a branch on which half holds it; 127
// for none, which lies past every window.
unsigned first_of(const WindowMask& mask) {
    const std::uint64_t last = std::uint64_t(1) << 63;
    const unsigned in_low = lowest_bit(mask.low | last);
    const unsigned in_high = 64 + lowest_bit(mask.high | last);
    const unsigned use_low = 0u - unsigned(mask.low != 0);
    return (in_low & use_low) | (in_high & ~use_low);
}

// Whether every one of the first `count` bits (below 128) is set, without a
// branch on which half they end in.
bool all_of_first(const WindowMask& mask, unsigned count) {
    const std::uint64_t ones = ~std::uint64_t(0);
    const std::uint64_t past_low = 0 - std::uint64_t(count < 64);
    const std::uint64_t into_high = 0 - std::uint64_t(count >= 64);
    const std::uint64_t low = ~((ones << (count & 63)) & past_low);
    const std::uint64_t high = ~(ones << ((count - 64) & 63)) & into_high;
    return ((~mask.low & low) | (~mask.high & high)) == 0;
}

bool is_character(std::uint32_t value) {
    return value <= kMaxCodePoint && (value & ~std::uint32_t(0x7FF)) != 0xD800;
}

// The number that sixteen digits, most significant first, write.
MIRELO_SSSE3 std::uint32_t number_of(__m128i digits, const TokenVectors::Tables& t) {
    const __m128i pairs = _mm_maddubs_epi16(digits, load_aligned(t.pair_weights));
    const __m128i fours = _mm_madd_epi16(pairs, load_aligned(t.four_weights));
    const __m128i eights =
        _mm_madd_epi16(_mm_packs_epi32(fours, fours), load_aligned(t.eight_weights));
    const std::uint32_t high = std::uint32_t(_mm_cvtsi128_si32(eights));
    const std::uint32_t low = std::uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(eights, 4)));
    return high * t.eighth_power + low;
}

// Where a call stands: the groups read so far, and their characters.
struct Progress {
    const unsigned char* p;
    CodePoint* read;
    std::size_t count = 0;
    std::uint64_t tokens = 0;
    std::uint64_t groups = 0;

    // A group of `length` bytes before its blank, whose digits are in the
    // first lanes: false where its number is no character UTF-8 can hold.
    MIRELO_SSSE3 bool take(__m128i digits, unsigned count_of_tokens, unsigned length,
                           const TokenVectors::Tables& t) {
        const std::uint32_t value =
            number_of(_mm_shuffle_epi8(digits, load_aligned(t.align[count_of_tokens])), t);
        if (!is_character(value)) return false;
        read[count] = CodePoint(value);
        count += std::size_t(count_of_tokens != 0);
        tokens += count_of_tokens;
        ++groups;
        p += length + 1;
        return true;
    }
    std::size_t finish(const unsigned char*& from, std::uint64_t& tokens_read,
                       std::uint64_t& groups_read) const {
        from = p;
        tokens_read += tokens;
        groups_read += groups;
        return count;
    }
};

// The blanks of a block of 64 bytes, one bit per byte.
MIRELO_SSSE3 std::uint64_t blanks_of(const unsigned char* block, __m128i blank) {
    std::uint64_t mask = 0;
    for (unsigned k = 0; k < 4; ++k) {
        const __m128i bytes = load(block + 16 * k);
        mask |= std::uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, blank))))
                << (16 * k);
    }
    return mask;
}

// Where short groups end, found 64 bytes at a time: the next group's end
// then waits on no load of the group before it, so that several groups are
// read at once.
class BlockEnds {
  public:
    BlockEnds(const unsigned char* from, const unsigned char* end, __m128i blank)
        : block_(from), end_(end), blank_(blank) {
        if (end - from >= 64) blanks_ = blanks_of(from, blank);
    }
    // The length of the group at `p` before its blank, or `most` or more
    // where there is no blank before p + most or the bytes to tell run out.
    MIRELO_SSSE3 unsigned length_at(const unsigned char* p, unsigned most) {
        while (blanks_ == 0) {
            if (block_ + 64 - p >= most || end_ - block_ < 128) return most;
            block_ += 64;
            blanks_ = blanks_of(block_, blank_);
        }
        return unsigned(block_ + lowest_bit(blanks_) - p);
    }
    // The group whose length was asked for is read.
    void next() { blanks_ &= blanks_ - 1; }

  private:
    const unsigned char* block_;
    const unsigned char* end_;
    __m128i blank_;
    std::uint64_t blanks_ = 0;
};

// Where long groups end, found in each group's own window: they span a
// block or two, and stepping from block to block would branch at random.
template <std::size_t Vectors>
class WindowEnds {
  public:
    WindowEnds(const unsigned char*, const unsigned char*, __m128i blank) : blank_(blank) {}
    MIRELO_SSSE3 unsigned length_at(const unsigned char* p, unsigned) const {
        __m128i found[Vectors];
        for (std::size_t j = 0; j < Vectors; ++j)
            found[j] = _mm_cmpeq_epi8(load(p + 16 * j), blank_);
        return first_of(mask_of<Vectors>(found));
    }
    void next() {}

  private:
    __m128i blank_;
};

template <std::size_t Vectors>
using GroupEnds = std::conditional_t<(Vectors <= 4), BlockEnds, WindowEnds<Vectors>>;

template <std::size_t Vectors>
MIRELO_SSSE3 std::size_t read_windows(const TokenVectors::Tables& t, unsigned char blank_byte,
                                      bool high_half, const unsigned char*& from,
                                      const unsigned char* end, CodePoint* read, std::size_t most,
                                      std::uint64_t& tokens_read, std::uint64_t& groups_read) {
    const __m128i blank = _mm_set1_epi8(static_cast<char>(blank_byte));
    const __m128i half = _mm_set1_epi8(0x0F);
    const __m128i digit_of_half = load_aligned(t.digit_of_half);
    const __m128i first_byte_of = load_aligned(t.first_byte_of);
    const __m128i token_bytes = load_aligned(t.token_bytes);
    Progress at{from, read};
    GroupEnds<Vectors> ends(from, end, blank);
    while (std::size_t(end - at.p) >= 16 * Vectors && at.count < most) {
        const unsigned length = ends.length_at(at.p, 16 * Vectors);
        if (length >= 16 * Vectors) break;
        const unsigned count_of_tokens = t.tokens_in[length];
        if (count_of_tokens == TokenVectors::kNone) break;
        __m128i window[Vectors];
        for (std::size_t j = 0; j < Vectors; ++j) window[j] = load(at.p + 16 * j);

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
        if (!all_of_first(mask_of<Vectors>(same), length)) break;

        if (!at.take(digits, count_of_tokens, length, t)) break;
        ends.next();
    }
    return at.finish(from, tokens_read, groups_read);
}

}  // namespace

std::size_t TokenVectors::read(const unsigned char*& from, const unsigned char* end,
                               CodePoint* read, std::size_t most, std::uint64_t& tokens,
                               std::uint64_t& groups) const {
    using Reader = std::size_t (*)(const Tables&, unsigned char, bool, const unsigned char*&,
                                   const unsigned char*, CodePoint*, std::size_t, std::uint64_t&,
                                   std::uint64_t&);
    static const Reader readers[kMostVectors] = {
        read_windows<1>, read_windows<2>, read_windows<3>, read_windows<4>,
        read_windows<5>, read_windows<6>, read_windows<7>,
    };
    return readers[vectors_ - 1](tables_, blank_, high_half_, from, end, read, most, tokens,
                                 groups);
}

#else

std::size_t TokenVectors::read(const unsigned char*&, const unsigned char*, CodePoint*, std::size_t,
                               std::uint64_t&, std::uint64_t&) const {
    return 0;
}

#endif

}  // namespace engine
