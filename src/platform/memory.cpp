#include "platform/memory.hpp"

#include <cstdint>

#ifndef _WIN32
#include <sys/mman.h>
#endif

namespace platform {

#if defined(MADV_HUGEPAGE)

void advise_large_pages(void* start, std::size_t length) {
    // The whole pages inside the block: the call takes no others.
    constexpr std::uintptr_t kPage = 4096;
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(start);
    const std::uintptr_t begin = (first + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t end = (first + length) & ~(kPage - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

#else

void advise_large_pages(void*, std::size_t) {}

#endif

}  // namespace platform
