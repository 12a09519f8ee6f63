// The routes the tests take: every one this processor runs, or, where
// MIRELO_KERNEL names one, those up to it.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/kernels/route.hpp"

inline std::vector<engine::Route> routes_to_test() {
    const char* value = std::getenv("MIRELO_KERNEL");
    engine::Route last = engine::Route::avx2;
    std::string error;
    if (value && *value && std::string(value) != "best" && !engine::route_named(value, last, error))
        last = engine::Route::plain;
    std::vector<engine::Route> routes;
    for (engine::Route route :
         {engine::Route::plain, engine::Route::sse2, engine::Route::ssse3, engine::Route::avx2}) {
        if (route <= last && engine::route_runs_here(route)) routes.push_back(route);
    }
    return routes;
}
