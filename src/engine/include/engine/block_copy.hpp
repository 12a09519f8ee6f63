// Copies of a fixed size, for units followed by readable padding: a copy of
// varying length would mispredict its branches on nearly every call.
#pragma once

#include <cstddef>
#include <cstring>

namespace engine {

// Reads and writes up to kBlockBytes - 1 bytes past the end of the units.
template <std::size_t kBlockBytes, typename Unit>
inline void copy_in_blocks(Unit* out, const Unit* in, std::size_t length) {
    static_assert(kBlockBytes % sizeof(Unit) == 0, "blocks hold whole units");
    constexpr std::size_t kBlockUnits = kBlockBytes / sizeof(Unit);
    for (std::size_t k = 0; k < length; k += kBlockUnits) std::memcpy(out + k, in + k, kBlockBytes);
}

}  // namespace engine
