// A hint to the system about memory the module fills.
#pragma once

#include <cstddef>

namespace platform {

// Asks for large pages behind a fresh block that is about to be written from
// end to end: otherwise each of its 4 KB pages faults on the first write.
// Only a hint; nothing where the system has no such hint.
void advise_large_pages(void* start, std::size_t length);

}  // namespace platform
