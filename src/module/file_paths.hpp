// File names and file errors between the interpreter and the platform layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.hpp"
#include "pyref.hpp"

// A path object as the platform layer takes it; false with the exception set.
bool native_path(PyObject* path, std::string& out);

// OSError(errno, text, filename, winerror, filename2): on Windows the
// interpreter derives the errno from the system's code.
void raise_os_error(const platform::SystemError& error, PyObject* filename,
                    PyObject* filename2 = nullptr);

// Renames `from` to `to` in one step, replacing whatever name `to` held.
bool replace_file(PyObject* from, PyObject* to);

// Removes the file if it is there; keeps any exception that is already set.
void discard_file(PyObject* path);

// The bytes of a regular file of at most `limit` bytes; nothing (and no
// exception) when it cannot be read.
std::optional<std::vector<std::uint8_t>> read_small_file(PyObject* path, std::size_t limit);
