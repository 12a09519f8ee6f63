#include "cli/ssse3.hpp"

#if defined(MIRELO_X86) && defined(_MSC_VER)
#include <intrin.h>
#endif

namespace cli {

namespace {

bool ask_processor() {
#if !defined(MIRELO_X86)
    return false;
#elif defined(_MSC_VER)
    int info[4];
    __cpuid(info, 1);
    return (info[2] & (1 << 9)) != 0;
#else
    return __builtin_cpu_supports("ssse3");
#endif
}

}  // namespace

bool processor_has_ssse3() {
    static const bool has = ask_processor();
    return has;
}

}  // namespace cli
