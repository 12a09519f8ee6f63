// Entry point: importing the module runs the whole application from its exec slot.
#include "pyref.hpp"
#include "startup.hpp"

static int exec_module(PyObject* module) {
    return run_startup(module) ? 0 : -1;
}

static PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

static PyMethodDef no_methods[] = {{nullptr, nullptr, 0, nullptr}};

static PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "Mirelo_2_5", nullptr, 0,       no_methods,
    module_slots,          nullptr,      nullptr, nullptr,
};

// Headers before 3.9 do not mark the init function visible, and the build hides
// every symbol by default.
#if defined(__GNUC__) && PY_VERSION_HEX < 0x03090000
#pragma GCC visibility push(default)
#endif
PyMODINIT_FUNC PyInit_Mirelo_2_5(void) {
    return PyModuleDef_Init(&module_def);
}
#if defined(__GNUC__) && PY_VERSION_HEX < 0x03090000
#pragma GCC visibility pop
#endif
