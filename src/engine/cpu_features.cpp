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
#elif defined(MIRELO_X86)
bool has_ssse3() {
    return __builtin_cpu_supports("ssse3");
}
bool has_avx2() {
    return __builtin_cpu_supports("avx2");
}
#else
bool has_ssse3() {
    return false;
}
bool has_avx2() {
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

}  // namespace engine
