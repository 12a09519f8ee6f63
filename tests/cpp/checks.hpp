// How the C++ unit tests check: a failed check prints what failed and in
// which case, and the program's exit status tells whether any did.
#pragma once

#include <cstdio>

namespace checks {

inline int failures = 0;

inline void failed() {
    ++failures;
}

inline void check(bool ok, const char* what, unsigned long long in_case = 0) {
    if (ok) return;
    std::printf("FAILED: %s (case %llu)\n", what, in_case);
    failed();
}

// For main's return.
inline int exit_status() {
    std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "passed", failures);
    return failures ? 1 : 0;
}

}  // namespace checks
