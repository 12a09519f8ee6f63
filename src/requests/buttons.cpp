#include "functions.hpp"

PyObject* do_(PyObject*, PyObject*) {
    PyErr_SetString(PyExc_NotImplementedError, "do is not built yet");
    return nullptr;
}

PyObject* translation_paste(PyObject*, PyObject*) {
    PyErr_SetString(PyExc_NotImplementedError, "translation_paste is not built yet");
    return nullptr;
}
