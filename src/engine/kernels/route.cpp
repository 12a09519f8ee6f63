#include "engine/kernels/route.hpp"

#include <cstring>

#include "target_attributes.hpp"

#if defined(MIRELO_X86) && defined(_MSC_VER)
#include <intrin.h>
#endif

namespace engine {

namespace {

const char* const kNames[] = {"plain", "sse2", "ssse3", "avx2"};

struct Processor {
    bool sse2 = false;
    bool ssse3 = false;
    bool avx2 = false;  // with BMI2
    bool fast_pext = false;
};

#if defined(MIRELO_X86) && defined(_MSC_VER)
Processor probe() {
    int info[4];
    __cpuid(info, 1);
    const int features = info[2], edx = info[3], signature = info[0];
    // AVX2 also needs the system to keep the wide registers (OSXSAVE, XCR0).
    const bool saved = (features & (1 << 27)) != 0 && (_xgetbv(0) & 0x6) == 0x6;
    __cpuidex(info, 7, 0);
    const bool avx2 = (info[1] & (1 << 5)) != 0, bmi2 = (info[1] & (1 << 8)) != 0;
    __cpuid(info, 0);
    const bool amd = info[1] == 0x68747541 && info[3] == 0x69746E65 && info[2] == 0x444D4163;
    const int family = ((signature >> 8) & 0xF) + ((signature >> 20) & 0xFF);
    Processor p;
    p.sse2 = (edx & (1 << 26)) != 0;
    p.ssse3 = (features & (1 << 9)) != 0;
    p.avx2 = saved && avx2 && bmi2;
    // AMD processors before family 19h run PEXT in microcode, slower than a loop.
    p.fast_pext = p.avx2 && (!amd || family >= 0x19);
    return p;
}
#elif defined(MIRELO_X86)
Processor probe() {
    Processor p;
    p.sse2 = __builtin_cpu_supports("sse2");
    p.ssse3 = __builtin_cpu_supports("ssse3");
    p.avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
    // AMD processors before family 19h run PEXT in microcode, slower than a loop.
    p.fast_pext = p.avx2 && !__builtin_cpu_is("amdfam15h") && !__builtin_cpu_is("amdfam17h");
    return p;
}
#else
Processor probe() {
    return Processor();
}
#endif

const Processor& processor() {
    static const Processor found = probe();
    return found;
}

Route& chosen() {
    static Route route = best_route();
    return route;
}

}  // namespace

const char* route_name(Route route) {
    return kNames[static_cast<int>(route)];
}

bool route_runs_here(Route route) {
    const Processor& p = processor();
    switch (route) {
        case Route::plain:
            return true;
        case Route::sse2:
            return p.sse2;
        case Route::ssse3:
            return p.sse2 && p.ssse3;
        default:
            return p.sse2 && p.ssse3 && p.avx2;
    }
}

Route best_route() {
    if (route_runs_here(Route::avx2) && processor().fast_pext) return Route::avx2;
    for (Route route : {Route::ssse3, Route::sse2}) {
        if (route_runs_here(route)) return route;
    }
    return Route::plain;
}

bool route_named(const char* value, Route& route, std::string& error) {
    if (value == nullptr || *value == '\0' || std::strcmp(value, "best") == 0) {
        route = best_route();
        return true;
    }
    for (Route candidate : {Route::plain, Route::sse2, Route::ssse3, Route::avx2}) {
        if (std::strcmp(value, route_name(candidate)) != 0) continue;
        if (!route_runs_here(candidate)) {
            error = std::string("MIRELO_KERNEL=") + value + ": this processor cannot run the " +
                    value + " route (its best is " + route_name(best_route()) + ")";
            return false;
        }
        route = candidate;
        return true;
    }
    error = std::string("MIRELO_KERNEL=") + value +
            ": unknown route (choose plain, sse2, ssse3, avx2 or best)";
    return false;
}

Route active_route() {
    return chosen();
}

void choose_route(Route route) {
    chosen() = route;
}

}  // namespace engine
