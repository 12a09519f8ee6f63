#include "platform/files.hpp"

#include "icons/pending_error.hpp"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#endif

namespace platform {

namespace {

#ifdef _WIN32

struct WidePath {
    wchar_t* text = nullptr;
    ~WidePath() { PyMem_Free(text); }
};

bool wide_path(PyObject* path, WidePath& out) {
    Ref text = Ref::steal(PyOS_FSPath(path));
    if (!text) return false;
    if (!PyUnicode_Check(text.get())) {
        PyErr_SetString(PyExc_TypeError, "file paths must be str on Windows");
        return false;
    }
    out.text = PyUnicode_AsWideCharString(text.get(), nullptr);
    return out.text != nullptr;
}

#else

Ref native_path(PyObject* path) {
    PyObject* encoded = nullptr;
    if (!PyUnicode_FSConverter(path, &encoded)) return Ref();
    return Ref::steal(encoded);
}

#endif

}  // namespace

#ifdef _WIN32

bool replace_file(PyObject* from, PyObject* to) {
    WidePath source, target;
    if (!wide_path(from, source) || !wide_path(to, target)) return false;
    if (MoveFileExW(source.text, target.text, MOVEFILE_REPLACE_EXISTING)) return true;
    PyErr_SetExcFromWindowsErrWithFilenameObjects(PyExc_OSError, 0, from, to);
    return false;
}

unsigned long process_id() {
    return GetCurrentProcessId();
}

void discard_file(PyObject* path) {
    PendingError keep;
    WidePath name;
    if (wide_path(path, name)) DeleteFileW(name.text);
    PyErr_Clear();
}

#else

bool replace_file(PyObject* from, PyObject* to) {
    Ref source = native_path(from), target = native_path(to);
    if (!source || !target) return false;
    if (std::rename(PyBytes_AS_STRING(source.get()), PyBytes_AS_STRING(target.get())) == 0)
        return true;
    PyErr_SetFromErrnoWithFilenameObjects(PyExc_OSError, from, to);
    return false;
}

unsigned long process_id() {
    return static_cast<unsigned long>(getpid());
}

void discard_file(PyObject* path) {
    PendingError keep;
    Ref name = native_path(path);
    if (name) unlink(PyBytes_AS_STRING(name.get()));
    PyErr_Clear();
}

std::optional<std::vector<std::uint8_t> > read_small_file(PyObject* path, std::size_t limit) {
    Ref name = native_path(path);
    if (!name) {
        PyErr_Clear();
        return std::nullopt;
    }
    int fd = open(PyBytes_AS_STRING(name.get()), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<std::vector<std::uint8_t> > content;
    struct stat status;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<unsigned long long>(status.st_size) <= limit) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(status.st_size));
        std::size_t filled = 0;
        while (filled < bytes.size()) {
            ssize_t got = read(fd, bytes.data() + filled, bytes.size() - filled);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            filled += static_cast<std::size_t>(got);
        }
        if (filled == bytes.size()) content = std::move(bytes);
    }
    close(fd);
    return content;
}

#endif

}  // namespace platform
