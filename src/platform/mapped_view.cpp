#include "platform/mapped_view.hpp"

#include <cstdio>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include "windows_api.hpp"
#else
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#endif

namespace platform {

MappedView::MappedView(MappedView&& other) noexcept
    : base_(std::exchange(other.base_, nullptr)),
      mapped_(std::exchange(other.mapped_, 0)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

MappedView& MappedView::operator=(MappedView&& other) noexcept {
    if (this != &other) {
        release();
        base_ = std::exchange(other.base_, nullptr);
        mapped_ = std::exchange(other.mapped_, 0);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

void MappedView::adopt(void* base, std::size_t mapped, std::size_t skip, std::size_t length) {
    base_ = base;
    mapped_ = mapped;
    data_ = static_cast<const unsigned char*>(base) + skip;
    size_ = length;
}

void MappedView::forget() {
    base_ = nullptr;
    mapped_ = 0;
    data_ = nullptr;
    size_ = 0;
}

#ifdef _WIN32

// Windows will not cut a file while a view of it exists (SetEndOfFile fails
// with ERROR_USER_MAPPED_FILE), so the shrinking that POSIX reports as SIGBUS
// cannot come from another Windows program. What faults a view there is an
// in-page error: the bytes of a file on a network share or a device that
// went away cannot be brought in. A vectored handler reports that one and
// ends the process; every other exception, access violations included, goes
// on to the usual handling (a file cut by a program outside Windows' control,
// as a Linux program can under Wine, ends the process with an access violation).

namespace {

const char* fault_message = "";
int fault_status = 1;
void* fault_handler = nullptr;

LONG CALLBACK report_fault(EXCEPTION_POINTERS* exception) {
    if (exception->ExceptionRecord->ExceptionCode != EXCEPTION_IN_PAGE_ERROR)
        return EXCEPTION_CONTINUE_SEARCH;
    DWORD ignored;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), fault_message, DWORD(std::strlen(fault_message)),
              &ignored, nullptr);
    // As _exit on POSIX: no clean-up that could wait on a lock this fault interrupted.
    TerminateProcess(GetCurrentProcess(), UINT(fault_status));
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

bool MappedView::rest_of_file(int fd, std::uint64_t& offset, std::uint64_t& remaining) {
    struct _stat64 status;
    if (_fstat64(fd, &status) != 0 || (status.st_mode & _S_IFREG) == 0) return false;
    const __int64 at = _lseeki64(fd, 0, SEEK_CUR);
    if (at < 0 || at > status.st_size) return false;
    offset = std::uint64_t(at);
    remaining = std::uint64_t(status.st_size - at);
    return true;
}

void MappedView::move_to(int fd, std::uint64_t offset) {
    _lseeki64(fd, static_cast<__int64>(offset), SEEK_SET);
}

void MappedView::exit_on_fault(const char* message, int status) {
    fault_message = message;
    fault_status = status;
    if (fault_handler == nullptr) fault_handler = AddVectoredExceptionHandler(1, report_fault);
}

bool MappedView::map(int fd, std::uint64_t offset, std::size_t length) {
    release();
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (file == INVALID_HANDLE_VALUE) return false;
    // Views start at multiples of the allocation granularity (64 KB), not of a page.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const std::uint64_t granularity = system.dwAllocationGranularity;
    const std::uint64_t start = offset - offset % granularity;
    const std::size_t mapped = length + std::size_t(offset - start);
    // A mapping of the whole file as it is now; the view keeps it open.
    const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) return false;
    void* const base =
        MapViewOfFile(mapping, FILE_MAP_READ, DWORD(start >> 32), DWORD(start), mapped);
    CloseHandle(mapping);
    if (base == nullptr) return false;
    adopt(base, mapped, std::size_t(offset - start), length);
    return true;
}

void MappedView::release() {
    if (base_ != nullptr) UnmapViewOfFile(base_);
    forget();
}

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

bool MappedView::rest_of_file(int fd, std::uint64_t& offset, std::uint64_t& remaining) {
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return false;
    const off_t at = lseek(fd, 0, SEEK_CUR);
    if (at < 0 || at > status.st_size) return false;
    offset = std::uint64_t(at);
    remaining = std::uint64_t(status.st_size - at);
    return true;
}

void MappedView::move_to(int fd, std::uint64_t offset) {
    lseek(fd, off_t(offset), SEEK_SET);
}

void MappedView::exit_on_fault(const char* message, int status) {
    fault_message = message;
    fault_status = status;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = report_fault;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, nullptr);
}

bool MappedView::map(int fd, std::uint64_t offset, std::size_t length) {
    release();
    const std::uint64_t page = std::uint64_t(sysconf(_SC_PAGESIZE));
    const std::uint64_t start = offset - offset % page;
    const std::size_t mapped = length + std::size_t(offset - start);
    void* const base = mmap(nullptr, mapped, PROT_READ, MAP_PRIVATE, fd, off_t(start));
    if (base == MAP_FAILED) return false;
    adopt(base, mapped, std::size_t(offset - start), length);
    return true;
}

void MappedView::release() {
    if (base_ != nullptr) munmap(base_, mapped_);
    forget();
}

#endif

}  // namespace platform
