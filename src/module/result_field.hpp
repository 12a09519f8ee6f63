// The one-line result field `out`, written by both the dispatch and the buttons.
#pragma once

#include "pyref.hpp"

// Empties `out` from 0 to END, then inserts `text` at 0; false with the
// exception set when either step fails.
bool replace_result_text(PyObject* module, PyObject* text);
