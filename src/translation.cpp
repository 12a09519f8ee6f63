// Python-facing glue of the translation engine.
#include "functions.hpp"

PyObject* changeover(PyObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_NotImplementedError, "changeover is not built yet");
    return nullptr;
}

PyObject* Translation_smooth(PyObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_NotImplementedError, "Translation_smooth is not built yet");
    return nullptr;
}

PyObject* Translation_disobey(PyObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_NotImplementedError, "Translation_disobey is not built yet");
    return nullptr;
}
