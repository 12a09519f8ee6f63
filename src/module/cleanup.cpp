// del_file: empties the icon folder's top level, then removes every folder
// of what remains that is empty when the walk visits it.
#include "functions.hpp"
#include "names.hpp"

namespace {

// The truth of `predicate(path)` for a global predicate: 1, 0, or -1 on error.
int test_path(PyObject* module, const Name& predicate, PyObject* path) {
    Ref args = make_tuple(Ref::borrow(path));
    Ref result = args ? call_global(module, predicate, args.get()) : Ref();
    return result ? PyObject_IsTrue(result.get()) : -1;
}

bool call_with_path(PyObject* module, const Name& function, PyObject* path) {
    Ref args = make_tuple(Ref::borrow(path));
    return args && call_global(module, function, args.get());
}

// shutil.rmtree(path, True): the whole subtree, errors ignored.
bool remove_tree(PyObject* module, PyObject* path) {
    static const Name shutil("shutil"), rmtree("rmtree");
    Ref module_shutil = lookup_global(module, shutil);
    if (!module_shutil) return false;
    Ref args = make_tuple(Ref::borrow(path), Ref::borrow(Py_True));
    return args && call_method(module_shutil.get(), rmtree, args.get());
}

bool remove_entry(PyObject* module, PyObject* folder, PyObject* name) {
    static const Name join("join"), isfile("isfile"), isdir("isdir"), remove("remove");
    Ref join_args = make_tuple(Ref::borrow(folder), Ref::borrow(name));
    Ref path = join_args ? call_global(module, join, join_args.get()) : Ref();
    if (!path) return false;
    int is_file = test_path(module, isfile, path.get());
    if (is_file != 0) return is_file > 0 && call_with_path(module, remove, path.get());
    int is_dir = test_path(module, isdir, path.get());
    if (is_dir != 0) return is_dir > 0 && remove_tree(module, path.get());
    return true;
}

bool clear_top_level(PyObject* module, PyObject* folder) {
    static const Name listdir("listdir");
    Ref args = make_tuple(Ref::borrow(folder));
    Ref names = args ? call_global(module, listdir, args.get()) : Ref();
    Ref iterator = names ? Ref::steal(PyObject_GetIter(names.get())) : Ref();
    if (!iterator) return false;
    while (Ref name = Ref::steal(PyIter_Next(iterator.get()))) {
        if (!remove_entry(module, folder, name.get())) return false;
    }
    return !PyErr_Occurred();
}

// `root, dirs, files = step`, with the interpreter's unpacking errors.
Ref first_of_three(PyObject* step) {
    Ref iterator = Ref::steal(PyObject_GetIter(step));
    if (!iterator) return Ref();
    Ref values[3];
    for (int i = 0; i < 3; ++i) {
        values[i] = Ref::steal(PyIter_Next(iterator.get()));
        if (!values[i]) {
            if (!PyErr_Occurred())
                PyErr_Format(PyExc_ValueError, "not enough values to unpack (expected 3, got %d)",
                             i);
            return Ref();
        }
    }
    Ref extra = Ref::steal(PyIter_Next(iterator.get()));
    if (extra) PyErr_SetString(PyExc_ValueError, "too many values to unpack (expected 3)");
    if (PyErr_Occurred()) return Ref();
    return values[0];
}

bool remove_empty_folders(PyObject* module, PyObject* folder) {
    static const Name walk("walk"), listdir("listdir"), rmdir("rmdir");
    Ref args = make_tuple(Ref::borrow(folder));
    Ref steps = args ? call_global(module, walk, args.get()) : Ref();
    Ref iterator = steps ? Ref::steal(PyObject_GetIter(steps.get())) : Ref();
    if (!iterator) return false;
    while (Ref step = Ref::steal(PyIter_Next(iterator.get()))) {
        Ref root = first_of_three(step.get());
        Ref root_args = make_tuple(root);
        Ref entries = root_args ? call_global(module, listdir, root_args.get()) : Ref();
        int has_entries = entries ? PyObject_IsTrue(entries.get()) : -1;
        if (has_entries < 0) return false;
        if (!has_entries && !call_with_path(module, rmdir, root.get())) return false;
    }
    return !PyErr_Occurred();
}

}  // namespace

PyObject* del_file(PyObject* module, PyObject* filePath) {
    if (!clear_top_level(module, filePath) || !remove_empty_folders(module, filePath))
        return nullptr;
    Py_RETURN_NONE;
}
