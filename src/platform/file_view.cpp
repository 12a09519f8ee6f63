#include "platform/file_view.hpp"

#include <utility>

#ifndef _WIN32
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <cstring>
#endif

namespace platform {

FileView::FileView(FileView&& other) noexcept
    : base_(std::exchange(other.base_, nullptr)),
      mapped_(std::exchange(other.mapped_, 0)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

FileView& FileView::operator=(FileView&& other) noexcept {
    if (this != &other) {
        release();
        base_ = std::exchange(other.base_, nullptr);
        mapped_ = std::exchange(other.mapped_, 0);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

#ifdef _WIN32

// Windows keeps reading: the command line's reads are its only way in.
bool FileView::rest_of_file(int, std::uint64_t&, std::uint64_t&) {
    return false;
}

void FileView::move_to(int, std::uint64_t) {}

void FileView::exit_on_fault(const char*, int) {}

bool FileView::see(int, std::uint64_t, std::size_t) {
    return false;
}

void FileView::release() {}

#else

namespace {

const char* fault_message = "";
int fault_status = 1;

void report_fault(int) {
    const ssize_t ignored = write(STDERR_FILENO, fault_message, std::strlen(fault_message));
    static_cast<void>(ignored);
    _exit(fault_status);
}

}  // namespace

bool FileView::rest_of_file(int fd, std::uint64_t& offset, std::uint64_t& remaining) {
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return false;
    const off_t at = lseek(fd, 0, SEEK_CUR);
    if (at < 0 || at > status.st_size) return false;
    offset = std::uint64_t(at);
    remaining = std::uint64_t(status.st_size - at);
    return true;
}

void FileView::move_to(int fd, std::uint64_t offset) {
    lseek(fd, off_t(offset), SEEK_SET);
}

void FileView::exit_on_fault(const char* message, int status) {
    fault_message = message;
    fault_status = status;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = report_fault;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, nullptr);
}

bool FileView::see(int fd, std::uint64_t offset, std::size_t length) {
    release();
    const std::uint64_t page = std::uint64_t(sysconf(_SC_PAGESIZE));
    const std::uint64_t start = offset - offset % page;
    const std::size_t mapped = length + std::size_t(offset - start);
    void* const base = mmap(nullptr, mapped, PROT_READ, MAP_PRIVATE, fd, off_t(start));
    if (base == MAP_FAILED) return false;
    base_ = base;
    mapped_ = mapped;
    data_ = static_cast<const unsigned char*>(base) + (offset - start);
    size_ = length;
    return true;
}

void FileView::release() {
    if (base_ != nullptr) munmap(base_, mapped_);
    base_ = nullptr;
    mapped_ = 0;
    data_ = nullptr;
    size_ = 0;
}

#endif

}  // namespace platform
