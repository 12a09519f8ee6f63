// The few operating system calls the command line needs, for POSIX and
// Windows: reading and writing file descriptors, and taking back output
// written to a regular file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {
namespace system_io {

constexpr int kStandardInput = 0;
constexpr int kStandardOutput = 1;
constexpr int kStandardError = 2;

// Standard streams carry bytes unchanged (no line-end translation).
void use_binary_standard_streams();

// The command line arguments as UTF-8, the program name first.
std::vector<std::string> utf8_arguments(int argc, char** argv);

// A descriptor, or -1 with `error` set.
int open_for_reading(const std::string& utf8_path, std::string& error);
void close_file(int fd);

// Bytes read (0 at the end), or -1 with `error` set. Retries interrupted calls.
long long read_some(int fd, unsigned char* buffer, std::size_t size, std::string& error);

// False with `error` set when not everything could be written.
bool write_all(int fd, const char* bytes, std::size_t size, std::string& error);

// Where a regular file being appended to stood when writing began, so that
// what was written can be cut off again; other kinds of output cannot be.
class Retraction {
  public:
    explicit Retraction(int fd);
    bool possible() const { return possible_; }
    // Cuts the file back to its starting length; false when that failed.
    bool retract() const;

  private:
    int fd_;
    bool possible_ = false;
    std::int64_t start_ = 0;
};

}  // namespace system_io
}  // namespace platform
