#include "engine/binary_spelling.hpp"

#if defined(__SSE2__) || defined(_M_X64)
#define MIRELO_SPELLING_SSE2 1
#include <emmintrin.h>
#endif
#ifdef _MSC_VER
#include <intrin.h>
#endif

namespace engine {

namespace {

// What the passes make of one character alone; with one-character patterns
// that is what they make of it anywhere.
Text passed(CodePoint c, const std::vector<Pass>& passes) {
    Text text(1, c);
    for (const Pass& pass : passes) text = replace_whole(text, pass);
    return text;
}

bool one_ascii_byte(const Text& text, unsigned char& byte) {
    if (text.size() != 1 || text[0] >= 0x80) return false;
    byte = static_cast<unsigned char>(text[0]);
    return true;
}

// Digits of `value` in base 2 without leading zeros; 1 for 0.
unsigned bit_length(std::uint32_t value) {
    value |= 1;
#if defined(__GNUC__) || defined(__clang__)
    return 32 - unsigned(__builtin_clz(value));
#elif defined(_MSC_VER)
    unsigned long top;
    _BitScanReverse(&top, value);
    return unsigned(top) + 1;
#else
    unsigned length = 0;
    for (; value != 0; value >>= 1) ++length;
    return length;
#endif
}

}  // namespace

BinarySpelling::BinarySpelling(std::uint64_t base, const std::vector<Pass>& passes) {
#ifdef MIRELO_SPELLING_SSE2
    if (base != 2) return;
    for (const Pass& pass : passes) {
        if (pass.pattern.size() != 1) return;
    }
    usable_ = one_ascii_byte(passed(U'1', passes), one_) &&
              one_ascii_byte(passed(U'0', passes), zero_) &&
              one_ascii_byte(passed(U' ', passes), blank_);
#else
    (void)base;
    (void)passes;
#endif
}

#ifdef MIRELO_SPELLING_SSE2

std::size_t BinarySpelling::write(const char16_t* text, std::size_t length, char*& at,
                                  const char* limit) const {
    // Digit k of sixteen, most significant first, is the bit of a lane's mask.
    const __m128i high_bits =
        _mm_setr_epi16(short(0x8000), 0x4000, 0x2000, 0x1000, 0x0800, 0x0400, 0x0200, 0x0100);
    const __m128i low_bits = _mm_setr_epi16(0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01);
    const __m128i zero = _mm_set1_epi8(static_cast<char>(zero_));
    const __m128i ones_differ = _mm_set1_epi8(static_cast<char>(one_ ^ zero_));
    // Kept in a register: the stores below may alias any member.
    const char blank = static_cast<char>(blank_);
    char* out = at;
    std::size_t done = 0;
    for (; done < length && std::size_t(limit - out) >= 1 + 16 + kReadableBytes; ++done) {
        const std::uint32_t c = text[done];
        const unsigned digits = bit_length(c);
        const __m128i spread = _mm_set1_epi16(static_cast<short>(c << (16 - digits)));
        const __m128i high = _mm_cmpeq_epi16(_mm_and_si128(spread, high_bits), high_bits);
        const __m128i low = _mm_cmpeq_epi16(_mm_and_si128(spread, low_bits), low_bits);
        const __m128i ones = _mm_packs_epi16(high, low);
        out[0] = blank;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 1),
                         _mm_xor_si128(zero, _mm_and_si128(ones, ones_differ)));
        out += 1 + digits;
    }
    at = out;
    return done;
}

#else

std::size_t BinarySpelling::write(const char16_t*, std::size_t, char*&, const char*) const {
    return 0;
}

#endif

}  // namespace engine
