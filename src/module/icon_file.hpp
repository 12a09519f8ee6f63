// Writing an icon file so that it appears complete or not at all.
#pragma once

#include "pyref.hpp"

namespace icons {

// Writes `data` under a fresh temporary name beside `path` with the builtin
// `open`, then renames it into place; on failure nothing is left behind.
bool write_whole_file(PyObject* path, PyObject* data);

}  // namespace icons
