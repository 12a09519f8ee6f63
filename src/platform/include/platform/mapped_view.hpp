// A memory-mapped part of a regular file, read without copying it: the
// command line decodes large files this way instead of reading them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

class MappedView {
  public:
    // Where the descriptor stands in a regular file and how many bytes
    // follow; false for other inputs (pipes, terminals, devices).
    static bool rest_of_file(int fd, std::uint64_t& offset, std::uint64_t& remaining);
    // Once every byte up to `offset` has been used: the descriptor moves
    // there, as if they had been read.
    static void move_to(int fd, std::uint64_t offset);
    // A file that shrinks while it is mapped makes the next access fault: the
    // process then writes `message` to standard error and exits with
    // `status` (on Windows, which refuses to cut a file that has views, the
    // fault of a view that cannot be read: see mapped_view.cpp). Call before
    // the first view.
    static void exit_on_fault(const char* message, int status);

    MappedView() = default;
    ~MappedView() { release(); }
    MappedView(MappedView&& other) noexcept;
    MappedView& operator=(MappedView&& other) noexcept;
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;

    // Maps `length` bytes from `offset` (length > 0); false if the system refuses.
    bool map(int fd, std::uint64_t offset, std::size_t length);
    void release();
    const unsigned char* data() const { return data_; }
    std::size_t size() const { return size_; }

  private:
    // Takes a mapping of `mapped` bytes whose wanted part starts `skip` bytes in.
    void adopt(void* base, std::size_t mapped, std::size_t skip, std::size_t length);
    void forget();
    void* base_ = nullptr;  // as the system mapped it, from a page boundary
    std::size_t mapped_ = 0;
    const unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace platform
