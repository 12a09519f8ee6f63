#include "functions.hpp"

PyObject* do_return(PyObject*, PyObject*) {
    PyErr_SetString(PyExc_NotImplementedError, "do_return is not built yet");
    return nullptr;
}
