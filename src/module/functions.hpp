// The nine module functions. Each receives the module as `self`, so its
// globals are the module namespace.
#pragma once

#include "pyref.hpp"

PyObject* changeover(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* Translation_smooth(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* Translation_disobey(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* do_return(PyObject* module, PyObject* imput);
PyObject* do_(PyObject* module, PyObject* unused);
PyObject* translation_paste(PyObject* module, PyObject* unused);
PyObject* make_icon(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* run_icon(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* del_file(PyObject* module, PyObject* filePath);

// Creates the functions as built-in function objects of `module` and binds
// each right after its creation, in the order of the table.
bool bind_functions(PyObject* module);
