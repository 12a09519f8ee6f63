#include "platform/memory.hpp"

#include <cstdint>
#include <system_error>

#ifndef _WIN32
#include <sys/mman.h>
#endif

namespace platform {

namespace {

struct Pages {
    std::uintptr_t begin = 0;
    std::uintptr_t end = 0;
};

// The whole pages lying inside a block: system calls on pages take no others.
Pages pages_inside(void* start, std::size_t length) {
    constexpr std::uintptr_t kPage = 4096;
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(start);
    return {(first + kPage - 1) & ~(kPage - 1), (first + length) & ~(kPage - 1)};
}

}  // namespace

#if defined(MADV_HUGEPAGE)

void advise_large_pages(void* start, std::size_t length) {
    const Pages pages = pages_inside(start, length);
    if (pages.end > pages.begin)
        madvise(reinterpret_cast<void*>(pages.begin), pages.end - pages.begin, MADV_HUGEPAGE);
}

#else

void advise_large_pages(void*, std::size_t) {}

#endif

#if defined(MADV_POPULATE_WRITE)

PagesAhead::PagesAhead(void* start, std::size_t length) {
    const Pages pages = pages_inside(start, length);
    if (pages.end <= pages.begin || std::thread::hardware_concurrency() < 2) return;
    try {
        helper_ = std::thread([this, pages] {
            // One large page per call, so that the writer's own faults and
            // the stop never wait long.
            constexpr std::uintptr_t kStep = std::uintptr_t(2) << 20;
            for (std::uintptr_t at = pages.begin; at < pages.end && !stop_.load(); at += kStep) {
                const std::uintptr_t size = pages.end - at < kStep ? pages.end - at : kStep;
                if (madvise(reinterpret_cast<void*>(at), size, MADV_POPULATE_WRITE) != 0) return;
            }
        });
    } catch (const std::system_error&) {
        // No thread: the writer faults the pages in itself, as without this.
    }
}

#else

PagesAhead::PagesAhead(void*, std::size_t) {}

#endif

PagesAhead::~PagesAhead() {
    stop_.store(true);
    if (helper_.joinable()) helper_.join();
}

}  // namespace platform
