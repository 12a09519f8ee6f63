// File operations whose system calls differ between Windows and POSIX. A path
// is the file system's bytes; on Windows, where names are Unicode text, its
// UTF-8 form, lone surrogates kept as their three bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/rules.hpp"

namespace platform {

// Why a call failed: the C library's error number, and on Windows the
// system's own error code where it gave one.
struct SystemError {
    int number = 0;
    unsigned long windows_code = 0;
    std::string message;
};

// Renames `from` to `to` in one step, replacing whatever name `to` held (a
// link there is replaced, never followed).
bool replace_file(const std::string& from, const std::string& to, SystemError& error);

// Removes the file if it is there.
void discard_file(const std::string& path);

// The bytes of a regular file of at most `limit` bytes; nothing when it
// cannot be read.
std::optional<std::vector<std::uint8_t>> read_small_file(const std::string& path,
                                                         std::size_t limit);

// What the folder at `path` is, without following a link there.
std::optional<FolderStatus> folder_status(const std::string& path, SystemError& error);

unsigned long process_id();
// The user this process runs for (0 on Windows, where folders are the user's own).
unsigned long user_id();

}  // namespace platform
