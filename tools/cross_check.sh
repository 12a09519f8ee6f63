#!/usr/bin/env bash
# Runs Mirelo on processors other than this one, under QEMU's user-mode
# emulation, so that every route the program chooses at run time runs
# somewhere:
#   - Linux ARM64: the engine, the command line and the C++ unit tests built
#     with the aarch64 toolchain file (optimised, warnings as errors), under
#     qemu-aarch64: the C++ tests, and the command line's round trips and
#     error contract against the native build (the plain route);
#   - the native x86-64 build under qemu-x86_64 -cpu qemu64 (SSE2 and no
#     SSSE3: the sse2 route) and -cpu Nehalem (SSSE3 and no AVX: the ssse3
#     route): the C++ tests and the command line's round trips; and under
#     -cpu max where this processor cannot run the avx2 route itself.
# The native runs of tools/test.sh cover this processor's own best route and
# the plain one.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$MIRELO_ROOT"

CROSS_PACKAGES=(g++-aarch64-linux-gnu qemu-user)
ARM64_ROOT=/usr/aarch64-linux-gnu
NATIVE="$MIRELO_ROOT/build/cxx-g++"
ARM64="$MIRELO_ROOT/build/aarch64"

fail() {
    say "cross check: $*"
    exit 1
}

# The best route of the processor that runs mirelo, as mirelo's refusal of
# the avx2 route names it; avx2 where that route runs.
best_route() {
    local said
    if said="$(MIRELO_KERNEL=avx2 "$@" --version 2>&1 >/dev/null)"; then
        printf 'avx2\n'
    elif [[ "$said" =~ its\ best\ is\ ([a-z0-9]+) ]]; then
        printf '%s\n' "${BASH_REMATCH[1]}"
    fi
}

# The C++ tests and the command line of a build, run through an emulator:
# NAME for the listing of the tests, the route the emulated processor must
# take, then the emulator's command.
check_under() {
    local build="$1" name="$2" route="$3"
    shift 3
    local taken
    taken="$(best_route "$@" "$build/mirelo")"
    [ "$taken" = "$route" ] || fail "$* takes the $taken route, not $route"
    say "The C++ unit tests under $* (the $route route)"
    run_cxx_tests_under "$venv" "$build" "$name" "$@"
    "$venv/bin/python" tools/cli_round_trip.py --wrapper "$*" --large 20 \
        --reference "$NATIVE/mirelo" "$build/mirelo"
}

ensure_debian_packages "${CROSS_PACKAGES[@]}"
venv="$(tools_venv)"
run_logged "Building for Linux ARM64" build_cxx "$venv" "$ARM64" \
    -DCMAKE_TOOLCHAIN_FILE="$MIRELO_ROOT/cmake/toolchains/aarch64-linux-gnu.cmake"
run_logged "Building natively with g++" build_cxx "$venv" "$NATIVE" -DCMAKE_CXX_COMPILER=g++

check_under "$ARM64" qemu plain qemu-aarch64 -L "$ARM64_ROOT"
check_under "$NATIVE" qemu64 sse2 qemu-x86_64 -cpu qemu64
check_under "$NATIVE" nehalem ssse3 qemu-x86_64 -cpu Nehalem
if ! MIRELO_KERNEL=avx2 "$NATIVE/mirelo" --version >/dev/null 2>&1; then
    check_under "$NATIVE" max avx2 qemu-x86_64 -cpu max
fi
say "cross check passed"
