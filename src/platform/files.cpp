#include "platform/files.hpp"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include "wide_text.hpp"
#include "windows_api.hpp"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace platform {

namespace {

// Reads what `fd` holds if it is a regular file of at most `limit` bytes.
std::optional<std::vector<std::uint8_t>> read_whole(int fd, std::size_t limit);

}  // namespace

#ifdef _WIN32

namespace {

SystemError last_windows_error() {
    SystemError error;
    error.windows_code = GetLastError();
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error.windows_code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length != 0) {
        error.message = utf8_of(text);
        while (!error.message.empty() &&
               (error.message.back() == '\n' || error.message.back() == '\r'))
            error.message.pop_back();
    }
    LocalFree(text);
    return error;
}

}  // namespace

bool replace_file(const std::string& from, const std::string& to, SystemError& error) {
    if (MoveFileExW(wide_of(from).c_str(), wide_of(to).c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    error = last_windows_error();
    return false;
}

void discard_file(const std::string& path) {
    DeleteFileW(wide_of(path).c_str());
}

std::optional<std::vector<std::uint8_t>> read_small_file(const std::string& path,
                                                         std::size_t limit) {
    const int fd = _wopen(wide_of(path).c_str(), _O_RDONLY | _O_BINARY);
    if (fd < 0) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> content = read_whole(fd, limit);
    _close(fd);
    return content;
}

std::optional<FolderStatus> folder_status(const std::string& path, SystemError& error) {
    const DWORD attributes = GetFileAttributesW(wide_of(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = last_windows_error();
        return std::nullopt;
    }
    return FolderStatus{(attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
                        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, user_id(), 0700};
}

unsigned long process_id() {
    return GetCurrentProcessId();
}

unsigned long user_id() {
    return 0;
}

namespace {

std::optional<std::vector<std::uint8_t>> read_whole(int fd, std::size_t limit) {
    struct _stat64 status;
    if (_fstat64(fd, &status) != 0 || (status.st_mode & _S_IFREG) == 0 ||
        static_cast<unsigned long long>(status.st_size) > limit)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(status.st_size));
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const int got = _read(fd, bytes.data() + filled, unsigned(bytes.size() - filled));
        if (got <= 0) return std::nullopt;
        filled += std::size_t(got);
    }
    return bytes;
}

}  // namespace

#else

namespace {

SystemError error_of(int number) {
    return SystemError{number, 0, std::strerror(number)};
}

}  // namespace

bool replace_file(const std::string& from, const std::string& to, SystemError& error) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    error = error_of(errno);
    return false;
}

void discard_file(const std::string& path) {
    unlink(path.c_str());
}

std::optional<std::vector<std::uint8_t>> read_small_file(const std::string& path,
                                                         std::size_t limit) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> content = read_whole(fd, limit);
    close(fd);
    return content;
}

std::optional<FolderStatus> folder_status(const std::string& path, SystemError& error) {
    struct stat status;
    if (lstat(path.c_str(), &status) != 0) {
        error = error_of(errno);
        return std::nullopt;
    }
    return FolderStatus{S_ISLNK(status.st_mode), S_ISDIR(status.st_mode),
                        static_cast<unsigned long>(status.st_uid),
                        static_cast<unsigned long>(status.st_mode & 0777)};
}

unsigned long process_id() {
    return static_cast<unsigned long>(getpid());
}

unsigned long user_id() {
    return static_cast<unsigned long>(geteuid());
}

namespace {

std::optional<std::vector<std::uint8_t>> read_whole(int fd, std::size_t limit) {
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        static_cast<unsigned long long>(status.st_size) > limit)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(status.st_size));
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = read(fd, bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;
        filled += static_cast<std::size_t>(got);
    }
    return bytes;
}

}  // namespace

#endif

}  // namespace platform
