#include "names.hpp"

#include <cstring>

PyObject* Name::get() const {
    if (!interned_) interned_ = PyUnicode_InternFromString(text_);
    return interned_;
}

static PyObject* builtins_dict() {
    return PyEval_GetBuiltins();
}

static Ref find_in(PyObject* dict, PyObject* key) {
    PyObject* value = PyDict_GetItemWithError(dict, key);
    return Ref::borrow(value);
}

Ref lookup_global(PyObject* module, const Name& name) {
    PyObject* key = name.get();
    if (!key) return Ref();
    Ref value = find_in(PyModule_GetDict(module), key);
    if (value || PyErr_Occurred()) return value;
    value = find_in(builtins_dict(), key);
    if (!value && !PyErr_Occurred())
        PyErr_Format(PyExc_NameError, "name '%s' is not defined", name.text());
    return value;
}

bool bind_global(PyObject* module, const Name& name, PyObject* value) {
    PyObject* key = name.get();
    return key && PyDict_SetItem(PyModule_GetDict(module), key, value) == 0;
}

Ref call(PyObject* callable, PyObject* args, PyObject* kwargs) {
    if (!args) return Ref();
    return Ref::steal(PyObject_Call(callable, args, kwargs));
}

Ref call_with_keywords(PyObject* callable, PyObject* kwargs) {
    Ref empty = Ref::steal(PyTuple_New(0));
    return call(callable, empty.get(), kwargs);
}

Ref call(PyObject* callable) {
    return call_with_keywords(callable, nullptr);
}

Ref call_global(PyObject* module, const Name& name, PyObject* args, PyObject* kwargs) {
    Ref callable = lookup_global(module, name);
    if (!callable) return Ref();
    return call(callable.get(), args, kwargs);
}

Ref call_global(PyObject* module, const Name& name) {
    Ref callable = lookup_global(module, name);
    if (!callable) return Ref();
    return call(callable.get());
}

static Ref bound_method(PyObject* object, const Name& method) {
    PyObject* key = method.get();
    if (!key) return Ref();
    return Ref::steal(PyObject_GetAttr(object, key));
}

Ref call_method(PyObject* object, const Name& method, PyObject* args, PyObject* kwargs) {
    Ref bound = bound_method(object, method);
    if (!bound) return Ref();
    return call(bound.get(), args, kwargs);
}

Ref call_method(PyObject* object, const Name& method) {
    Ref bound = bound_method(object, method);
    if (!bound) return Ref();
    return call(bound.get());
}

// Never destroyed: its references must not be released after the interpreter has finalised.
static CachedBuiltins& cache = *new CachedBuiltins;

// Only the interpreter's own function is a built-in of the builtins module
// with that name; a replacement installed before start-up is not.
static bool is_builtin_function(PyObject* object, const char* name) {
    if (!PyCFunction_Check(object)) return false;
    PyObject* self = PyCFunction_GET_SELF(object);
    if (!self || !PyModule_Check(self)) return false;
    const char* module_name = PyModule_GetName(self);
    if (!module_name) {
        PyErr_Clear();
        return false;
    }
    return std::strcmp(module_name, "builtins") == 0 &&
           std::strcmp(reinterpret_cast<PyCFunctionObject*>(object)->m_ml->ml_name, name) == 0;
}

static bool fetch_builtin(const char* text, Ref& slot) {
    Ref key = Ref::steal(PyUnicode_InternFromString(text));
    if (!key) return false;
    slot = find_in(builtins_dict(), key.get());
    if (!slot && !PyErr_Occurred()) PyErr_Format(PyExc_NameError, "name '%s' is not defined", text);
    return bool(slot);
}

bool cache_builtins() {
    CachedBuiltins fresh;
    if (!fetch_builtin("range", fresh.range) || !fetch_builtin("format", fresh.format) ||
        !fetch_builtin("chr", fresh.chr) || !fetch_builtin("open", fresh.open))
        return false;
    fresh.genuine_range = fresh.range.get() == reinterpret_cast<PyObject*>(&PyRange_Type);
    fresh.genuine_format = is_builtin_function(fresh.format.get(), "format");
    fresh.genuine_chr = is_builtin_function(fresh.chr.get(), "chr");
    cache = std::move(fresh);
    return true;
}

const CachedBuiltins& cached_builtins() {
    return cache;
}
