#include "functions.hpp"

PyObject* del_file(PyObject*, PyObject*) {
    PyErr_SetString(PyExc_NotImplementedError, "del_file is not built yet");
    return nullptr;
}
