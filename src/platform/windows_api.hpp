// The Windows API as the platform layer includes it: the C runtime's
// low-level I/O and windows.h without min and max (which the C++ library
// may have kept out already) and without the rarely used parts.
#pragma once

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#endif
