// Owning reference to a Python object: releases on scope exit, so early error
// returns cannot leak.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

class Ref {
  public:
    Ref() = default;
    static Ref steal(PyObject* p) { return Ref(p); }
    static Ref borrow(PyObject* p) {
        Py_XINCREF(p);
        return Ref(p);
    }

    Ref(const Ref& other) : p_(other.p_) { Py_XINCREF(p_); }
    Ref(Ref&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    Ref& operator=(Ref other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Ref() { Py_XDECREF(p_); }

    PyObject* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Hands the reference to the caller (for returning to the interpreter).
    PyObject* release() {
        PyObject* p = p_;
        p_ = nullptr;
        return p;
    }

  private:
    explicit Ref(PyObject* p) : p_(p) {}
    PyObject* p_ = nullptr;
};

// Builds a tuple from owned parts; an empty Ref among them means an error is set.
template <typename... Parts>
Ref make_tuple(const Parts&... parts) {
    for (const Ref* part : {&parts...}) {
        if (!*part) return Ref();
    }
    Ref tuple = Ref::steal(PyTuple_New(sizeof...(parts)));
    if (!tuple) return Ref();
    Py_ssize_t i = 0;
    for (const Ref* part : {&parts...}) {
        Py_INCREF(part->get());
        PyTuple_SET_ITEM(tuple.get(), i++, part->get());
    }
    return tuple;
}

inline Ref make_text(const char* utf8) {
    return Ref::steal(PyUnicode_FromString(utf8));
}
inline Ref make_int(long value) {
    return Ref::steal(PyLong_FromLong(value));
}
