// Steps shared by the encoder and the decoder functions.
#pragma once

#include <new>

#include "pyref.hpp"

struct TranslationArguments {
    PyObject* imput;
    PyObject* value_list;
    PyObject* numbers_list;
    PyObject* icon;
    PyObject* icon_num;
};

// Parses the five positional-or-keyword parameters; `format` is "OOOOO:"
// followed by the function's name, for the interpreter's messages.
bool parse_translation_arguments(const char* format, PyObject* args, PyObject* kwargs,
                                 TranslationArguments& parsed);

// Shows the language's icon first, through the module's current `run_icon`.
bool show_language_icon(PyObject* module, const TranslationArguments& arguments);

// Calls `range(count)` through the builtin fetched at start-up.
Ref range_of(Py_ssize_t count);

// Runs native work, turning the engine's out-of-memory into MemoryError.
template <typename Work>
PyObject* guard_memory(Work&& work) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
}
