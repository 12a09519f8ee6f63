// Reading and building interpreter strings for the engine.
#pragma once

#include "engine/text.hpp"
#include "pyref.hpp"

// Makes sure a string's code points can be read directly (older interpreters
// may hold a string in a legacy form until asked).
inline bool ready(PyObject* text) {
#if PY_VERSION_HEX < 0x030C0000
    return PyUnicode_READY(text) == 0;
#else
    (void)text;
    return true;
#endif
}

// Calls `visit(data, length)` with the string's code units as their own type.
template <typename Visit>
auto visit_code_points(PyObject* text, Visit&& visit) {
    const Py_ssize_t length = PyUnicode_GET_LENGTH(text);
    switch (PyUnicode_KIND(text)) {
        case PyUnicode_1BYTE_KIND:
            return visit(PyUnicode_1BYTE_DATA(text), std::size_t(length));
        case PyUnicode_2BYTE_KIND:
            return visit(PyUnicode_2BYTE_DATA(text), std::size_t(length));
        default:
            return visit(PyUnicode_4BYTE_DATA(text), std::size_t(length));
    }
}

// The code points of a string (which must be ready).
inline engine::Text text_of(PyObject* text) {
    return visit_code_points(text, [](const auto* data, std::size_t length) {
        return engine::Text(data, data + length);
    });
}

inline Ref string_of(const engine::Text& text) {
    return Ref::steal(
        PyUnicode_FromKindAndData(PyUnicode_4BYTE_KIND, text.data(), Py_ssize_t(text.size())));
}
