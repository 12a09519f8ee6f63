#include "icon_folder.hpp"

#include <cerrno>
#include <string>

#include "file_paths.hpp"
#include "names.hpp"
#include "platform/files.hpp"
#include "platform/rules.hpp"

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

}  // namespace

Ref program_temp_value(PyObject* module) {
    static const Name environ_name("environ"), get("get");
    Ref environment = lookup_global(module, environ_name);
    if (!environment) return Ref();
    bool failed = false;
    platform::EnvironmentLookup lookup = [&](const char* name) -> std::optional<std::string> {
        if (failed) return std::nullopt;
        Ref args = make_tuple(make_text(name));
        Ref value = args ? call_method(environment.get(), get, args.get()) : Ref();
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
    std::optional<std::string> path =
        platform::program_temp_path(platform::native_layer, lookup, platform::user_id());
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
    Ref suffix = text_of(platform::icon_file_suffix(platform::native_layer, utf8));
    if (!suffix) return Ref();
    return Ref::steal(PyNumber_Add(program_temp, suffix.get()));
}

bool create_icon_folder(PyObject* module, PyObject* program_temp) {
    static const Name makedirs("makedirs");
    Ref args = make_tuple(Ref::borrow(program_temp));
    if (!args) return false;
    Ref kwargs;
    if (platform::kIconFolderMayBeShared) {
        kwargs = Ref::steal(PyDict_New());
        Ref mode = make_int(0700);
        if (!kwargs || !mode || PyDict_SetItemString(kwargs.get(), "mode", mode.get()) < 0)
            return false;
    }
    return bool(call_global(module, makedirs, args.get(), kwargs.get()));
}

bool check_icon_folder(PyObject* program_temp) {
    if (!platform::kIconFolderMayBeShared) return true;
    std::string path;
    if (!native_path(program_temp, path)) return false;
    platform::SystemError error;
    const std::optional<platform::FolderStatus> folder = platform::folder_status(path, error);
    if (!folder) {
        raise_os_error(error, program_temp);
        return false;
    }
    const char* reason = platform::unsafe_folder_reason(*folder, platform::user_id());
    if (!reason) return true;
    Ref message = Ref::steal(PyUnicode_FromFormat("%s, refusing to write icons into it", reason));
    Ref error_args = make_tuple(make_int(EACCES), message, Ref::borrow(program_temp));
    if (error_args) PyErr_SetObject(PyExc_PermissionError, error_args.get());
    return false;
}
