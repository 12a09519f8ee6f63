#include "platform/system_io.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include "wide_text.hpp"
#include "windows_api.hpp"
// After windows.h, which it needs.
#include <shellapi.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {
namespace system_io {

namespace {

std::string error_text(int number) {
#ifdef _WIN32
    char text[256];
    return strerror_s(text, sizeof(text), number) == 0 ? text : "unknown error";
#else
    return std::strerror(number);
#endif
}

// The largest request handed to one read or write call.
constexpr std::size_t kMaxTransfer = std::size_t(1) << 30;

}  // namespace

#ifdef _WIN32

void use_binary_standard_streams() {
    _setmode(kStandardInput, _O_BINARY);
    _setmode(kStandardOutput, _O_BINARY);
    _setmode(kStandardError, _O_BINARY);
}

std::vector<std::string> utf8_arguments(int, char**) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; wide != nullptr && i < count; ++i) arguments.push_back(utf8_of(wide[i]));
    LocalFree(wide);
    return arguments;
}

int open_for_reading(const std::string& utf8_path, std::string& error) {
    const int fd = _wopen(wide_of(utf8_path).c_str(), _O_RDONLY | _O_BINARY);
    if (fd < 0) error = error_text(errno);
    return fd;
}

void close_file(int fd) {
    _close(fd);
}

long long read_some(int fd, unsigned char* buffer, std::size_t size, std::string& error) {
    const int got = _read(fd, buffer, unsigned(size < kMaxTransfer ? size : kMaxTransfer));
    if (got < 0) error = error_text(errno);
    return got;
}

bool write_all(int fd, const char* bytes, std::size_t size, std::string& error) {
    while (size > 0) {
        const int put = _write(fd, bytes, unsigned(size < kMaxTransfer ? size : kMaxTransfer));
        if (put <= 0) {
            error = error_text(errno);
            return false;
        }
        bytes += put;
        size -= std::size_t(put);
    }
    return true;
}

Retraction::Retraction(int fd) : fd_(fd) {
    struct _stat64 status;
    if (_fstat64(fd, &status) != 0 || (status.st_mode & _S_IFREG) == 0) return;
    start_ = _lseeki64(fd, 0, SEEK_CUR);
    possible_ = start_ >= 0 && start_ == status.st_size;
}

bool Retraction::retract() const {
    return possible_ && _chsize_s(fd_, start_) == 0 && _lseeki64(fd_, start_, SEEK_SET) == start_;
}

#else

void use_binary_standard_streams() {}

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

int open_for_reading(const std::string& utf8_path, std::string& error) {
    int fd;
    do {
        fd = open(utf8_path.c_str(), O_RDONLY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) error = error_text(errno);
    return fd;
}

void close_file(int fd) {
    close(fd);
}

long long read_some(int fd, unsigned char* buffer, std::size_t size, std::string& error) {
    ssize_t got;
    do {
        got = read(fd, buffer, size < kMaxTransfer ? size : kMaxTransfer);
    } while (got < 0 && errno == EINTR);
    if (got < 0) error = error_text(errno);
    return got;
}

bool write_all(int fd, const char* bytes, std::size_t size, std::string& error) {
    while (size > 0) {
        const ssize_t put = write(fd, bytes, size < kMaxTransfer ? size : kMaxTransfer);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            error = error_text(put < 0 ? errno : EIO);
            return false;
        }
        bytes += put;
        size -= std::size_t(put);
    }
    return true;
}

// Output that appends (">>") starts at the end whatever the offset says;
// output written over the middle of a file cannot be undone by cutting.
Retraction::Retraction(int fd) : fd_(fd) {
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return;
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0) return;
    start_ = (flags & O_APPEND) != 0 ? std::int64_t(status.st_size)
                                     : std::int64_t(lseek(fd, 0, SEEK_CUR));
    possible_ = start_ >= 0 && start_ == std::int64_t(status.st_size);
}

bool Retraction::retract() const {
    return possible_ && ftruncate(fd_, off_t(start_)) == 0 &&
           lseek(fd_, off_t(start_), SEEK_SET) == off_t(start_);
}

#endif

}  // namespace system_io
}  // namespace platform
