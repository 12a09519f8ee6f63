// Bit masks of 64 bytes, one bit per byte, as the vector readers build them.
#pragma once

#include <cstdint>

#ifdef _MSC_VER
#include <intrin.h>
#endif

namespace engine {

// The index of the lowest set bit of a mask that is not 0.
inline unsigned lowest_bit(std::uint64_t mask) {
#if defined(__GNUC__) || defined(__clang__)
    return unsigned(__builtin_ctzll(mask));
#elif defined(_MSC_VER)
    unsigned long at;
    _BitScanForward64(&at, mask);
    return unsigned(at);
#else
    unsigned at = 0;
    while ((mask & 1u) == 0) {
        mask >>= 1;
        ++at;
    }
    return at;
#endif
}

// The count of set bits.
inline unsigned popcount(std::uint64_t mask) {
#if defined(__GNUC__) || defined(__clang__)
    return unsigned(__builtin_popcountll(mask));
#else
    unsigned count = 0;
    for (; mask != 0; mask &= mask - 1) ++count;
    return count;
#endif
}

// The lowest `count` bits, count from 0 to 64.
inline std::uint64_t low_bits(unsigned count) {
    return count >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << count) - 1;
}

}  // namespace engine
