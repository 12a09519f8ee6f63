#include "cli/utf8_simd.hpp"

#include <cstdint>

#include "engine/cpu_features.hpp"

#ifdef MIRELO_X86
#define MIRELO_UTF8_SIMD 1
#include <immintrin.h>
#endif

namespace cli {
namespace utf8_simd {

#ifdef MIRELO_UTF8_SIMD

namespace {

// What to do with a window whose first thirteen bytes have characters
// starting where `starts` has its bits: which bytes go into which of the
// eight 16-bit lanes, and how long each lane's character is. Lane k takes
// its last byte and the one before into `last_two`, its lead byte and, for a
// three-byte character, that lead again into `lead_first`.
struct alignas(16) Plan {
    std::uint8_t last_two[16];
    std::uint8_t lead_first[16];
    std::int16_t lengths[8];
    std::uint8_t characters;
    std::uint8_t bytes;
};

constexpr unsigned kWindowStarts = 13;
constexpr std::uint8_t kZero = 0x80;  // a shuffle index that gives 0

Plan plan_for(unsigned starts) {
    Plan plan{};
    for (unsigned k = 0; k < 8; ++k) {
        plan.last_two[2 * k] = plan.last_two[2 * k + 1] = kZero;
        plan.lead_first[2 * k] = plan.lead_first[2 * k + 1] = kZero;
        plan.lengths[k] = 1;  // an empty lane reads as a one-byte zero
    }
    if ((starts & 1) == 0) return plan;
    unsigned start = 0;
    while (plan.characters < 8) {
        unsigned next = start + 1;
        while (next < kWindowStarts && (starts >> next & 1) == 0) ++next;
        const unsigned length = next - start;
        if (next >= kWindowStarts || length > 3) break;
        const unsigned k = plan.characters++;
        plan.last_two[2 * k] = std::uint8_t(next - 1);
        if (length >= 2) plan.last_two[2 * k + 1] = std::uint8_t(next - 2);
        plan.lead_first[2 * k] = std::uint8_t(start);
        if (length == 3) plan.lead_first[2 * k + 1] = std::uint8_t(start);
        plan.lengths[k] = std::int16_t(length);
        plan.bytes = std::uint8_t(next);
        start = next;
    }
    return plan;
}

struct Plans {
    Plans() {
        for (unsigned starts = 0; starts < (1u << kWindowStarts); ++starts)
            entries[starts] = plan_for(starts);
    }
    Plan entries[1u << kWindowStarts];
};

const Plan* plans() {
    static const Plans all;
    return all.entries;
}

MIRELO_SSSE3 const unsigned char* decode_windows(const unsigned char* p, const unsigned char* end,
                                                 char16_t*& out_units, const Plan* all_plans) {
    char16_t* out = out_units;
    const __m128i zero = _mm_setzero_si128();
    const __m128i continuation_limit = _mm_set1_epi8(-64);  // 0x80 to 0xBF lie below
    while (end - p >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if (_mm_movemask_epi8(bytes) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(bytes, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(bytes, zero));
            p += 16;
            out += 16;
            continue;
        }
        const unsigned continuations =
            unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(bytes, continuation_limit)));
        const Plan& plan = all_plans[~continuations & ((1u << kWindowStarts) - 1)];
        if (plan.characters == 0) break;
        const __m128i last_two = _mm_shuffle_epi8(
            bytes, _mm_load_si128(reinterpret_cast<const __m128i*>(plan.last_two)));
        const __m128i lead_first = _mm_shuffle_epi8(
            bytes, _mm_load_si128(reinterpret_cast<const __m128i*>(plan.lead_first)));
        // The bits of a continuation byte below 0x40, of an ASCII byte below 0x80.
        const __m128i characters = _mm_or_si128(
            _mm_or_si128(_mm_and_si128(last_two, _mm_set1_epi16(0x007F)),
                         _mm_and_si128(_mm_srli_epi16(last_two, 2), _mm_set1_epi16(0x0FC0))),
            _mm_and_si128(_mm_slli_epi16(lead_first, 4), _mm_set1_epi16(-4096)));
        // The length each lead byte announces must be the length found.
        const __m128i lead = _mm_and_si128(lead_first, _mm_set1_epi16(0x00FF));
        const __m128i announced = _mm_sub_epi16(
            _mm_sub_epi16(_mm_set1_epi16(1), _mm_cmpgt_epi16(lead, _mm_set1_epi16(0xBF))),
            _mm_add_epi16(_mm_cmpgt_epi16(lead, _mm_set1_epi16(0xDF)),
                          _mm_cmpgt_epi16(lead, _mm_set1_epi16(0xEF))));
        const __m128i lengths = _mm_load_si128(reinterpret_cast<const __m128i*>(plan.lengths));
        // No overlong form: two bytes for U+0080 on, three for U+0800 on.
        const __m128i smallest = _mm_or_si128(
            _mm_and_si128(_mm_cmpgt_epi16(lengths, _mm_set1_epi16(1)), _mm_set1_epi16(0x80)),
            _mm_and_si128(_mm_cmpgt_epi16(lengths, _mm_set1_epi16(2)), _mm_set1_epi16(0x800)));
        const __m128i surrogate = _mm_cmpeq_epi16(_mm_and_si128(characters, _mm_set1_epi16(-2048)),
                                                  _mm_set1_epi16(-10240));
        const __m128i wrong =
            _mm_or_si128(_mm_or_si128(_mm_xor_si128(announced, lengths), surrogate),
                         _mm_subs_epu16(smallest, characters));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(wrong, zero)) != 0xFFFF) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), characters);
        p += plan.bytes;
        out += plan.characters;
    }
    out_units = out;
    return p;
}

}  // namespace

bool available() {
    return engine::processor_has_ssse3();
}

const unsigned char* decode(const unsigned char* p, const unsigned char* end, char16_t*& out) {
    return decode_windows(p, end, out, plans());
}

#else

bool available() {
    return false;
}

const unsigned char* decode(const unsigned char* p, const unsigned char*, char16_t*&) {
    return p;
}

#endif

}  // namespace utf8_simd
}  // namespace cli
