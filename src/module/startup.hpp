#pragma once

#include "pyref.hpp"

// Runs the start-up sequence in `module`: imports, functions, main window,
// main loop, clean-up. False, with the exception set, at the first failing step.
bool run_startup(PyObject* module);
