#include "platform/temp_folder.hpp"

namespace platform {

Ref program_temp_value(PyObject*) {
    PyErr_SetString(PyExc_NotImplementedError, "program_temp is not built yet");
    return Ref();
}

}  // namespace platform
