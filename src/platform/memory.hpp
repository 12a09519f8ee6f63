// Hints to the system about memory the module fills.
#pragma once

#include <cstddef>

namespace platform {

// Asks for large pages behind a block that is about to be written once from
// end to end: a fresh block of hundreds of MB otherwise takes a page fault
// every 4 KB. Only a hint; it does nothing where the system has no such hint.
void advise_large_pages(void* start, std::size_t length);

}  // namespace platform
