// File operations whose system calls differ between Windows and POSIX.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "pyref.hpp"

namespace platform {

// Renames `from` to `to` in one step, replacing whatever name `to` held
// (a link there is replaced, never followed). OSError on failure.
bool replace_file(PyObject* from, PyObject* to);

unsigned long process_id();

// Removes the file if it is there; keeps any exception that is already set.
void discard_file(PyObject* path);

#ifndef _WIN32
// The bytes of a regular file of at most `limit` bytes; nothing (and no
// exception) when it cannot be read.
std::optional<std::vector<std::uint8_t>> read_small_file(PyObject* path, std::size_t limit);
#endif

}  // namespace platform
