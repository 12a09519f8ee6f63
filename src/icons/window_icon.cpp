#include "functions.hpp"

PyObject* make_icon(PyObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_NotImplementedError, "make_icon is not built yet");
    return nullptr;
}

PyObject* run_icon(PyObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_NotImplementedError, "run_icon is not built yet");
    return nullptr;
}
