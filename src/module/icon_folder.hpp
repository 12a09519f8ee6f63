// Where the icon files live: the folder, the names of the files in it, and
// its safety where other users can write beside it.
#pragma once

#include "pyref.hpp"

// The value of `program_temp`, read through the module's `environ`.
Ref program_temp_value(PyObject* module);

// `program_temp` followed by the file name of icon `number`, joined with `+`.
Ref icon_path_value(PyObject* program_temp, PyObject* number);

// Calls the module's `makedirs` on the folder; on POSIX only its owner may enter it.
bool create_icon_folder(PyObject* module, PyObject* program_temp);

// PermissionError unless the folder is fit to hold files that are written
// into it (on POSIX: a real directory of ours, closed to everyone else).
bool check_icon_folder(PyObject* program_temp);
