#include "icon_file.hpp"

#include "file_paths.hpp"
#include "names.hpp"
#include "pending_error.hpp"

namespace icons {

namespace {

// Enough to step over names left behind by crashed runs.
constexpr int kNameAttempts = 100;

Ref temporary_name(PyObject* path, int attempt) {
    Ref suffix = Ref::steal(PyUnicode_FromFormat(".%lu-%d.part", platform::process_id(), attempt));
    if (!suffix) return Ref();
    return Ref::steal(PyNumber_Add(path, suffix.get()));
}

// Mode "xb" creates a new file and never opens what is already there, so a
// link planted under the temporary name is not followed.
Ref open_new_file(PyObject* path, Ref& part) {
    Ref mode = make_text("xb");
    for (int attempt = 0;; ++attempt) {
        part = temporary_name(path, attempt);
        Ref args = make_tuple(part, mode);
        if (!args) return Ref();
        Ref file = call(cached_builtins().open.get(), args.get());
        if (file || attempt + 1 == kNameAttempts || !PyErr_ExceptionMatches(PyExc_FileExistsError))
            return file;
        PyErr_Clear();
    }
}

void close_keeping_error(PyObject* file) {
    static const Name close("close");
    PendingError keep;
    call_method(file, close);
    PyErr_Clear();
}

}  // namespace

bool write_whole_file(PyObject* path, PyObject* data) {
    static const Name write("write"), close("close");
    Ref part;
    Ref file = open_new_file(path, part);
    if (!file) return false;
    Ref args = make_tuple(Ref::borrow(data));
    if (!args || !call_method(file.get(), write, args.get())) {
        close_keeping_error(file.get());
        discard_file(part.get());
        return false;
    }
    if (!call_method(file.get(), close) || !replace_file(part.get(), path)) {
        discard_file(part.get());
        return false;
    }
    return true;
}

}  // namespace icons
