#include "engine/kernels/binary_groups.hpp"

#include <vector>

#include "bits.hpp"
#include "target_attributes.hpp"

#ifdef MIRELO_X86
#include <immintrin.h>
#endif

namespace engine {

BinaryGroups::BinaryGroups(Decoder& decoder, unsigned char blank, Route route) {
    if (decoder.base() != 2 || route < Route::sse2) return;
    // The digits themselves usually stand for themselves too; the bytes the
    // alphabet writes for them are the ones to look for.
    std::vector<unsigned char> ones, zeros;
    for (unsigned c = 0; c < 0x80; ++c) {
        const int meaning = decoder.meaning_alone(c);
        if (meaning == 1 && c != '1') ones.push_back(static_cast<unsigned char>(c));
        if (meaning == 0 && c != '0') zeros.push_back(static_cast<unsigned char>(c));
    }
    if (ones.empty() && decoder.meaning_alone('1') == 1) ones.push_back('1');
    if (zeros.empty() && decoder.meaning_alone('0') == 0) zeros.push_back('0');
    if (ones.size() != 1 || zeros.size() != 1) return;
    if (decoder.meaning_alone(blank) != Decoder::kBlank) return;
    one_ = ones[0];
    zero_ = zeros[0];
    blank_ = blank;
    usable_ = true;
}

#ifdef MIRELO_X86

namespace {

// Bit i moves to bit 63 - i: the first byte of a block becomes the most
// significant digit.
std::uint64_t reversed(std::uint64_t x) {
    x = ((x >> 1) & 0x5555555555555555u) | ((x & 0x5555555555555555u) << 1);
    x = ((x >> 2) & 0x3333333333333333u) | ((x & 0x3333333333333333u) << 2);
    x = ((x >> 4) & 0x0F0F0F0F0F0F0F0Fu) | ((x & 0x0F0F0F0F0F0F0F0Fu) << 4);
    x = ((x >> 8) & 0x00FF00FF00FF00FFu) | ((x & 0x00FF00FF00FF00FFu) << 8);
    x = ((x >> 16) & 0x0000FFFF0000FFFFu) | ((x & 0x0000FFFF0000FFFFu) << 16);
    return (x >> 32) | (x << 32);
}

// Appends `count` digits to a group's number; false once it is above the
// last code point. Leading zeros of any number keep it at 0.
bool append(std::uint64_t& value, std::uint64_t digits, unsigned count) {
    if (value != 0 && count > 42) return false;
    value = count >= 64 ? digits : (value << count) | digits;
    return value <= kMaxCodePoint;
}

bool is_surrogate(std::uint64_t value) {
    return (value & ~std::uint64_t(0x7FF)) == 0xD800;
}

// What a block of 64 bytes holds, one bit per byte.
struct Masks {
    std::uint64_t digits;  // the ones, the block's first byte in bit 63
    std::uint64_t blanks;  // the block's first byte in bit 0
    bool known;            // whether every byte is a digit or a blank
};

// In four vectors of 16 bytes.
struct BlockMasks {
    __m128i one, zero, blank;

    MIRELO_SSE2 Masks operator()(const unsigned char* p) const {
        std::uint64_t ones = 0, known = 0, blanks = 0;
        for (unsigned k = 0; k < 4; ++k) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
            const __m128i is_one = _mm_cmpeq_epi8(block, one);
            const __m128i is_blank = _mm_cmpeq_epi8(block, blank);
            const __m128i is_known =
                _mm_or_si128(_mm_or_si128(is_one, is_blank), _mm_cmpeq_epi8(block, zero));
            ones |= std::uint64_t(unsigned(_mm_movemask_epi8(is_one))) << (16 * k);
            blanks |= std::uint64_t(unsigned(_mm_movemask_epi8(is_blank))) << (16 * k);
            known |= std::uint64_t(unsigned(_mm_movemask_epi8(is_known))) << (16 * k);
        }
        return {reversed(ones), blanks, known == ~std::uint64_t(0)};
    }
};

MIRELO_SSE2 std::size_t read_blocks(unsigned char one, unsigned char zero, unsigned char blank,
                                    const unsigned char*& from, const unsigned char* end,
                                    CodePoint* read) {
    const BlockMasks masks_of{_mm_set1_epi8(static_cast<char>(one)),
                              _mm_set1_epi8(static_cast<char>(zero)),
                              _mm_set1_epi8(static_cast<char>(blank))};
    const unsigned char* p = from;
    std::size_t count = 0;
    std::uint64_t value = 0;  // of the group open at the end of the last block
    bool open = false;        // whether that group has digits
    // A block ends at most 32 groups of its own and the one carried into it.
    while (end - p >= 64 && BinaryGroups::kMostRead - count >= 33) {
        const Masks masks = masks_of(p);
        if (!masks.known) break;
        // The digits before a blank at b, most significant first, are the
        // bits below 64 - b of the reversed ones, taken as (digits >> (63 - b)) >> 1
        // so that a blank at 0 shifts by no more than 63.
        const std::uint64_t digits = masks.digits;
        std::uint64_t rest = masks.blanks;
        unsigned start = 0;  // where the next group's digits in this block begin
        if (open) {
            if (rest == 0) {
                if (!append(value, digits, 64)) return count;
                p += 64;
                continue;
            }
            const unsigned blank = lowest_bit(rest);
            if (blank != 0 &&
                !append(value, ((digits >> (63 - blank)) >> 1) & low_bits(blank), blank))
                return count;
            if (is_surrogate(value)) return count;
            read[count++] = CodePoint(value);
            from = p + blank + 1;
            start = blank + 1;
            rest &= rest - 1;
        }
        // Groups that begin and end in this block: no carry, no branch on
        // whether a group is empty (two blanks in a row).
        for (; rest != 0; rest &= rest - 1) {
            const unsigned blank = lowest_bit(rest);
            const unsigned length = blank - start;
            const std::uint64_t number =
                ((digits >> (63 - blank)) >> 1) & ((std::uint64_t(1) << length) - 1);
            if (number > kMaxCodePoint || is_surrogate(number)) return count;
            read[count] = CodePoint(number);
            count += std::size_t(length != 0);
            from = p + blank + 1;
            start = blank + 1;
        }
        open = start < 64;
        value = open ? digits & low_bits(64 - start) : 0;
        if (value > kMaxCodePoint) return count;
        p += 64;
    }
    return count;
}

}  // namespace

std::size_t BinaryGroups::read(const unsigned char*& from, const unsigned char* end,
                               CodePoint* read, std::uint64_t& characters) const {
    const unsigned char* const start = from;
    const std::size_t count = read_blocks(one_, zero_, blank_, from, end, read);
    characters += std::uint64_t(from - start);
    return count;
}

#else

std::size_t BinaryGroups::read(const unsigned char*&, const unsigned char*, CodePoint*,
                               std::uint64_t&) const {
    return 0;
}

#endif

}  // namespace engine
