// make_icon and run_icon: an icon text becomes a file in the icon folder,
// and the file becomes the icon of the main window.
#include "functions.hpp"
#include "icon_display.hpp"
#include "icon_file.hpp"
#include "icon_folder.hpp"
#include "names.hpp"

namespace {

const Name kProgramTemp("program_temp");

// Both functions take (num_icon, number) by position or keyword.
bool parse_icon_arguments(PyObject* args, PyObject* kwargs, const char* format, PyObject** num_icon,
                          PyObject** number) {
    static char num_icon_name[] = "num_icon", number_name[] = "number";
    static char* keywords[] = {num_icon_name, number_name, nullptr};
    return PyArg_ParseTupleAndKeywords(args, kwargs, format, keywords, num_icon, number) != 0;
}

// The truth of the module's `exists` for `path`: 1, 0, or -1 on error.
int exists(PyObject* module, PyObject* path) {
    static const Name exists_name("exists");
    Ref args = make_tuple(Ref::borrow(path));
    Ref result = args ? call_global(module, exists_name, args.get()) : Ref();
    return result ? PyObject_IsTrue(result.get()) : -1;
}

// Creates the icon folder when it is missing.
bool prepare_icon_folder(PyObject* module) {
    Ref folder = lookup_global(module, kProgramTemp);
    if (!folder) return false;
    int present = exists(module, folder.get());
    if (present < 0) return false;
    return present || create_icon_folder(module, folder.get());
}

Ref decode(PyObject* module, PyObject* num_icon) {
    static const Name b64decode("b64decode");
    Ref args = make_tuple(Ref::borrow(num_icon));
    return args ? call_global(module, b64decode, args.get()) : Ref();
}

}  // namespace

PyObject* make_icon(PyObject* module, PyObject* args, PyObject* kwargs) {
    PyObject *num_icon, *number;
    if (!parse_icon_arguments(args, kwargs, "OO:make_icon", &num_icon, &number)) return nullptr;
    Ref folder = lookup_global(module, kProgramTemp);
    Ref tmp = folder ? icon_path_value(folder.get(), number) : Ref();
    if (!tmp) return nullptr;
    int present = exists(module, tmp.get());
    if (present < 0) return nullptr;
    if (present) return tmp.release();
    if (!prepare_icon_folder(module)) return nullptr;
    // Decoding before anything is written: a bad text leaves no file behind.
    Ref content = decode(module, num_icon);
    if (!content) return nullptr;
    // Checked after decoding, right before the write, so that nothing run
    // in between can swap the folder for a link.
    if (!check_icon_folder(folder.get())) return nullptr;
    if (!icons::write_whole_file(tmp.get(), content.get())) return nullptr;
    return tmp.release();
}

PyObject* run_icon(PyObject* module, PyObject* args, PyObject* kwargs) {
    static const Name make_icon_name("make_icon"), app_name("app");
    PyObject *num_icon, *number;
    if (!parse_icon_arguments(args, kwargs, "OO:run_icon", &num_icon, &number)) return nullptr;
    Ref call_args = make_tuple(Ref::borrow(num_icon), Ref::borrow(number));
    Ref icon = call_args ? call_global(module, make_icon_name, call_args.get()) : Ref();
    if (!icon) return nullptr;
    Ref app = lookup_global(module, app_name);
    if (!app || !show_window_icon(app.get(), icon.get())) return nullptr;
    Py_RETURN_NONE;
}
