// x86 processors' vector extensions: whether this one has them, and how to
// compile a function that uses one while the rest of the program keeps to
// SSE2.
#pragma once

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define MIRELO_X86 1
#endif

// SSE2, which every 64-bit x86 processor has, used without a check.
#if defined(__SSE2__) || defined(_M_X64)
#define MIRELO_SSE2 1
#include <emmintrin.h>
#endif

#if defined(__GNUC__) || defined(__clang__)
#define MIRELO_SSSE3 __attribute__((target("ssse3")))
#define MIRELO_AVX2 __attribute__((target("avx2")))
#define MIRELO_AVX2_BMI2 __attribute__((target("avx2,bmi2,popcnt")))
#else
#define MIRELO_SSSE3
#define MIRELO_AVX2
#define MIRELO_AVX2_BMI2
#endif

// Compiles a loop shared by several of those functions into each, with that
// function's extensions.
#if defined(__GNUC__) || defined(__clang__)
#define MIRELO_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define MIRELO_INLINE __forceinline
#else
#define MIRELO_INLINE inline
#endif

namespace engine {

// All false on other processors.
bool processor_has_ssse3();
bool processor_has_avx2();
// BMI2, on a processor that runs its PEXT in hardware.
bool processor_has_fast_pext();

}  // namespace engine
