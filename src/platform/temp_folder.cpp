#include "platform/temp_folder.hpp"

#include <string>

#include "names.hpp"
#include "platform/rules.hpp"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace platform {

namespace {

// Text round trips through UTF-8 with lone surrogates kept, so that file
// names the interpreter decoded with surrogate escapes survive unchanged.
bool utf8_of(PyObject* text, std::string& out) {
    Ref bytes = Ref::steal(PyUnicode_AsEncodedString(text, "utf-8", "surrogatepass"));
    if (!bytes) return false;
    out.assign(PyBytes_AS_STRING(bytes.get()), static_cast<size_t>(PyBytes_GET_SIZE(bytes.get())));
    return true;
}

Ref text_of(const std::string& utf8) {
    return Ref::steal(
        PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "surrogatepass"));
}

unsigned long user_id() {
#ifdef _WIN32
    return 0;
#else
    return static_cast<unsigned long>(geteuid());
#endif
}

}  // namespace

Ref program_temp_value(PyObject* module) {
    static const Name environ_name("environ"), get("get");
    Ref environ = lookup_global(module, environ_name);
    if (!environ) return Ref();
    bool failed = false;
    EnvironmentLookup lookup = [&](const char* name) -> std::optional<std::string> {
        if (failed) return std::nullopt;
        Ref args = make_tuple(make_text(name));
        Ref value = args ? call_method(environ.get(), get, args.get()) : Ref();
        std::string utf8;
        if (value && value.get() == Py_None) return std::nullopt;
        if (value && !PyUnicode_Check(value.get()))
            PyErr_Format(PyExc_TypeError, "environment variable %s holds %.100s, not str", name,
                         Py_TYPE(value.get())->tp_name);
        else if (value && utf8_of(value.get(), utf8))
            return utf8;
        failed = true;
        return std::nullopt;
    };
    std::optional<std::string> path = program_temp_path(native_layer, lookup, user_id());
    if (failed) return Ref();
    if (!path) {
        // What the interpreter says about `None + "\\Quenzariv2.2"`.
        PyErr_SetString(PyExc_TypeError, "unsupported operand type(s) for +: 'NoneType' and 'str'");
        return Ref();
    }
    return text_of(*path);
}

Ref icon_path_value(PyObject* program_temp, PyObject* number) {
    Ref conversion = make_text("%s");
    if (!conversion) return Ref();
    Ref number_text = Ref::steal(PyUnicode_Format(conversion.get(), number));
    std::string utf8;
    if (!number_text || !utf8_of(number_text.get(), utf8)) return Ref();
    Ref suffix = text_of(icon_file_suffix(native_layer, utf8));
    if (!suffix) return Ref();
    return Ref::steal(PyNumber_Add(program_temp, suffix.get()));
}

bool create_icon_folder(PyObject* module, PyObject* program_temp) {
    static const Name makedirs("makedirs");
    Ref args = make_tuple(Ref::borrow(program_temp));
    if (!args) return false;
    Ref kwargs;
    if (native_layer == Layer::posix) {
        kwargs = Ref::steal(PyDict_New());
        Ref mode = make_int(0700);
        if (!kwargs || !mode || PyDict_SetItemString(kwargs.get(), "mode", mode.get()) < 0)
            return false;
    }
    return bool(call_global(module, makedirs, args.get(), kwargs.get()));
}

#ifdef _WIN32

// The user's own temporary directory is private already.
bool check_icon_folder(PyObject*) {
    return true;
}

#else

bool check_icon_folder(PyObject* program_temp) {
    PyObject* encoded = nullptr;
    if (!PyUnicode_FSConverter(program_temp, &encoded)) return false;
    Ref path = Ref::steal(encoded);
    struct stat status;
    if (lstat(PyBytes_AS_STRING(path.get()), &status) != 0) {
        PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, program_temp);
        return false;
    }
    FolderStatus folder{S_ISLNK(status.st_mode), S_ISDIR(status.st_mode),
                        static_cast<unsigned long>(status.st_uid),
                        static_cast<unsigned long>(status.st_mode & 0777)};
    const char* reason = unsafe_folder_reason(folder, user_id());
    if (!reason) return true;
    Ref message = Ref::steal(PyUnicode_FromFormat("%s, refusing to write icons into it", reason));
    Ref error_args = make_tuple(make_int(EACCES), message, Ref::borrow(program_temp));
    if (error_args) PyErr_SetObject(PyExc_PermissionError, error_args.get());
    return false;
}

#endif

}  // namespace platform
