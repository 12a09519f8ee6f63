// Hints to the system about memory the module fills.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

namespace platform {

// Asks for large pages behind a block that is about to be written once from
// end to end: a fresh block of hundreds of MB otherwise takes a page fault
// every 4 KB. Only a hint; it does nothing where the system has no such hint.
void advise_large_pages(void* start, std::size_t length);

// While it lives, another processor faults in a fresh block's pages from the
// start, ahead of a writer going the same way, so that the system clears
// them at the same time as the writer fills those before. The block's
// contents are never touched. Does nothing on a single processor or where
// the system cannot fault pages in without writing to them.
class PagesAhead {
  public:
    PagesAhead(void* start, std::size_t length);
    ~PagesAhead();
    PagesAhead(const PagesAhead&) = delete;
    PagesAhead& operator=(const PagesAhead&) = delete;

  private:
    std::atomic<bool> stop_{false};
    std::thread helper_;
};

}  // namespace platform
