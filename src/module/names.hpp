// Late-bound names: every global a function uses is looked up in the module
// namespace, then the builtins, at the moment of use.
#pragma once

#include "pyref.hpp"

// An identifier interned once per process and kept for its life.
class Name {
  public:
    explicit constexpr Name(const char* text) : text_(text) {}
    const char* text() const { return text_; }
    PyObject* get() const;  // borrowed; nullptr with MemoryError set on failure

  private:
    const char* text_;
    mutable PyObject* interned_ = nullptr;
};

// New reference to the value of `name` for code running in `module`; NameError if unbound.
Ref lookup_global(PyObject* module, const Name& name);
bool bind_global(PyObject* module, const Name& name, PyObject* value);

// Calls with the positional arguments `args`, a tuple, and the keyword
// arguments `kwargs`, if any. A null `args` is a tuple that could not be
// built: the call is not made and the exception already set stays.
Ref call(PyObject* callable, PyObject* args, PyObject* kwargs = nullptr);
// Calls with no positional arguments.
Ref call(PyObject* callable);
Ref call_with_keywords(PyObject* callable, PyObject* kwargs);

// Looks `name` up and calls it, as call() does.
Ref call_global(PyObject* module, const Name& name, PyObject* args, PyObject* kwargs = nullptr);
Ref call_global(PyObject* module, const Name& name);
Ref call_method(PyObject* object, const Name& method, PyObject* args, PyObject* kwargs = nullptr);
Ref call_method(PyObject* object, const Name& method);

// The builtins fetched once when the module starts, reused by every call.
struct CachedBuiltins {
    Ref range, format, chr, open;
    // True when the cached object is still the interpreter's own builtin, so
    // that a native shortcut gives the same result as calling it.
    bool genuine_format = false, genuine_chr = false, genuine_range = false;
};
bool cache_builtins();
const CachedBuiltins& cached_builtins();
