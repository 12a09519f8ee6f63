// x86 processors with SSSE3: whether this one has it, and how to compile a
// function that uses it while the rest of the program keeps to SSE2.
#pragma once

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define MIRELO_X86 1
#endif

#if defined(__GNUC__) || defined(__clang__)
#define MIRELO_SSSE3 __attribute__((target("ssse3")))
#else
#define MIRELO_SSSE3
#endif

namespace cli {

// False on other processors.
bool processor_has_ssse3();

}  // namespace cli
