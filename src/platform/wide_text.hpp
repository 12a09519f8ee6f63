// Windows' file names and arguments are UTF-16; the rest of the program
// speaks UTF-8. Lone surrogates pass both ways as their own three bytes.
#pragma once

#ifdef _WIN32

#include <string>

namespace platform {

std::wstring wide_of(const std::string& utf8);
std::string utf8_of(const wchar_t* wide);

}  // namespace platform

#endif
