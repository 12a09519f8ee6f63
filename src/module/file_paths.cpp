#include "file_paths.hpp"

#include "pending_error.hpp"

bool native_path(PyObject* path, std::string& out) {
    Ref name;
    if (platform::kNamesAreText) {
        Ref text = Ref::steal(PyOS_FSPath(path));
        if (!text) return false;
        if (!PyUnicode_Check(text.get())) {
            PyErr_SetString(PyExc_TypeError, "file paths must be str on Windows");
            return false;
        }
        name = Ref::steal(PyUnicode_AsEncodedString(text.get(), "utf-8", "surrogatepass"));
    } else {
        PyObject* encoded = nullptr;
        if (PyUnicode_FSConverter(path, &encoded)) name = Ref::steal(encoded);
    }
    if (!name) return false;
    out.assign(PyBytes_AS_STRING(name.get()), std::size_t(PyBytes_GET_SIZE(name.get())));
    return true;
}

void raise_os_error(const platform::SystemError& error, PyObject* filename, PyObject* filename2) {
    Ref winerror = error.windows_code != 0 ? Ref::steal(PyLong_FromUnsignedLong(error.windows_code))
                                           : Ref::borrow(Py_None);
    Ref args =
        make_tuple(make_int(error.number), make_text(error.message.c_str()), Ref::borrow(filename),
                   winerror, Ref::borrow(filename2 ? filename2 : Py_None));
    Ref exception = args ? Ref::steal(PyObject_Call(PyExc_OSError, args.get(), nullptr)) : Ref();
    if (exception)
        PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.get())), exception.get());
}

bool replace_file(PyObject* from, PyObject* to) {
    std::string source, target;
    if (!native_path(from, source) || !native_path(to, target)) return false;
    platform::SystemError error;
    if (platform::replace_file(source, target, error)) return true;
    raise_os_error(error, from, to);
    return false;
}

void discard_file(PyObject* path) {
    PendingError keep;
    std::string name;
    if (native_path(path, name)) platform::discard_file(name);
    PyErr_Clear();
}

std::optional<std::vector<std::uint8_t>> read_small_file(PyObject* path, std::size_t limit) {
    std::string name;
    if (!native_path(path, name)) {
        PyErr_Clear();
        return std::nullopt;
    }
    return platform::read_small_file(name, limit);
}
