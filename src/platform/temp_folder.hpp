// Where the icon files live, and how a file becomes the window icon: the only
// place that differs between Windows and POSIX.
#pragma once

#include "pyref.hpp"

namespace platform {

// The value of `program_temp`, read from the module's `environ`.
Ref program_temp_value(PyObject* module);

}  // namespace platform
