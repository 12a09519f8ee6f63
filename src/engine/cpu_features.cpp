#include "engine/cpu_features.hpp"

#if defined(MIRELO_X86) && defined(_MSC_VER)
#include <intrin.h>
#endif

namespace engine {

namespace {

#if defined(MIRELO_X86) && defined(_MSC_VER)
bool has_ssse3() {
    int info[4];
    __cpuid(info, 1);
    return (info[2] & (1 << 9)) != 0;
}
// AVX2 also needs the system to keep the wide registers (OSXSAVE, XCR0).
bool has_avx2() {
    int info[4];
    __cpuid(info, 1);
    const bool saved = (info[2] & (1 << 27)) != 0 && (_xgetbv(0) & 0x6) == 0x6;
    __cpuidex(info, 7, 0);
    return saved && (info[1] & (1 << 5)) != 0;
}
// AMD processors before family 19h run PEXT in microcode, slower than a loop.
bool has_fast_pext() {
    int info[4];
    __cpuidex(info, 7, 0);
    if ((info[1] & (1 << 8)) == 0) return false;
    __cpuid(info, 0);
    const bool amd = info[1] == 0x68747541 && info[3] == 0x69746E65 && info[2] == 0x444D4163;
    __cpuid(info, 1);
    const int family = ((info[0] >> 8) & 0xF) + ((info[0] >> 20) & 0xFF);
    return !amd || family >= 0x19;
}
#elif defined(MIRELO_X86)
bool has_ssse3() {
    return __builtin_cpu_supports("ssse3");
}
bool has_avx2() {
    return __builtin_cpu_supports("avx2");
}
// AMD processors before family 19h run PEXT in microcode, slower than a loop.
bool has_fast_pext() {
    return __builtin_cpu_supports("bmi2") && !__builtin_cpu_is("amdfam15h") &&
           !__builtin_cpu_is("amdfam17h");
}
#else
bool has_ssse3() {
    return false;
}
bool has_avx2() {
    return false;
}
bool has_fast_pext() {
    return false;
}
#endif

}  // namespace

bool processor_has_ssse3() {
    static const bool has = has_ssse3();
    return has;
}

bool processor_has_avx2() {
    static const bool has = has_avx2();
    return has;
}

bool processor_has_fast_pext() {
    static const bool has = has_fast_pext();
    return has;
}

}  // namespace engine
