// Compiling a function for an x86 instruction set that the rest of the
// program does not assume: the route decides at run time whether it is called.
#pragma once

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define MIRELO_X86 1
#endif

#if defined(__GNUC__) || defined(__clang__)
#define MIRELO_SSE2 __attribute__((target("sse2")))
#define MIRELO_SSSE3 __attribute__((target("ssse3")))
#define MIRELO_AVX2 __attribute__((target("avx2,bmi2,popcnt")))
// Compiles a loop shared by several such functions into each, with that
// function's instruction sets.
#define MIRELO_INLINE inline __attribute__((always_inline))
#else
#define MIRELO_SSE2
#define MIRELO_SSSE3
#define MIRELO_AVX2
#ifdef _MSC_VER
#define MIRELO_INLINE __forceinline
#else
#define MIRELO_INLINE inline
#endif
#endif
