// Turning the `value_list` / `numbers_list` arguments into engine passes.
#pragma once

#include <vector>

#include "engine/replace_chain.hpp"
#include "pyref.hpp"

enum class PassOrder { digits_to_syllables, syllables_to_digits };

enum class AlphabetRead {
    native,   // `passes` holds every pass
    generic,  // an entry of an unusual type: only the interpreter's own steps are exact
    failed,   // a pass would fail: its exception is set
};

// Reads `count` passes. Encoding replaces str(numbers_list[x]) by
// value_list[x]; decoding replaces value_list[x] by str(numbers_list[x]).
// Only plain lists and tuples holding ints and strings are read natively.
AlphabetRead read_alphabet(PyObject* value_list, PyObject* numbers_list, Py_ssize_t count,
                           PassOrder order, std::vector<engine::Pass>& passes);

// True for the module's own base conversion, whose result the engine reproduces.
bool is_native_changeover(PyObject* function);
