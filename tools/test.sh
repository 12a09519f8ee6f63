#!/usr/bin/env bash
# Installs what the tests need, builds the module with warnings as errors and
# runs the whole pytest suite on the oldest and the newest CPython (3.7 or
# newer) found, and the translation and command-line tests once more on the
# plain route; builds the C++ unit tests optimised with GCC and with clang
# (the module too with clang) and runs them, on every route and on the plain
# route alone; checks the C++ formatting; fuzzes briefly; checks the wheel;
# and checks the Windows build under Wine and other processors under QEMU
# (tools/windows_check.sh, tools/cross_check.sh).
# Arguments go to pytest, e.g. `tools/test.sh -k icons` or
# `tools/test.sh tests/test_startup.py`.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$MIRELO_ROOT"

check_formatting() {
    local files
    mapfile -t files < <(find src tests/cpp fuzz -name '*.cpp' -o -name '*.hpp' -o -name '*.h' \
        2>/dev/null | sort)
    say "Checking the formatting of ${#files[@]} C++ files"
    clang-format --dry-run --Werror "${files[@]}"
}

# The C++ tests as the product ships: optimised, with warnings as errors;
# the compiler is CXX, the build folder build/cxx-<compiler>, and further
# arguments go to CMake.
build_cxx_tests() {
    build_cxx "$1" "build/cxx-$2" -DCMAKE_CXX_COMPILER="$2" "${@:3}"
}

# Builds with compiler $2 what $3 says and runs the C++ tests; further
# arguments go to CMake.
run_cxx_tests() {
    run_logged "Building $3 with $2" build_cxx_tests "$1" "$2" "${@:4}"
    "$1/bin/ctest" --test-dir "build/cxx-$2" --output-on-failure --no-tests=error
    say "The C++ unit tests on the plain route"
    MIRELO_KERNEL=plain "$1/bin/ctest" --test-dir "build/cxx-$2" --output-on-failure \
        --no-tests=error
}

# The translation and command-line tests, as they run where the processor
# has no vector instructions.
run_plain_route_tests() {
    say "The translation and command-line tests on the plain route"
    MIRELO_KERNEL=plain run_pytest "$1" tests/test_changeover.py tests/test_encoder.py \
        tests/test_decoder.py tests/test_cli.py tests/test_routes.py "${@:2}"
}

# pytest exits with 5 when it collected no test: that is a failure here too.
run_pytest() {
    local venv="$1" status=0
    shift
    local paths=(tests) arg
    for arg in "$@"; do
        case "$arg" in tests/* | ./tests/*) paths=() ;; esac
    done
    say "Running the tests on $("$venv/bin/python" --version)"
    "$venv/bin/python" -m pytest "${paths[@]}" "$@" || status=$?
    if [ "$status" -eq 5 ]; then
        say "pytest ran no test"
    fi
    return "$status"
}

ensure_debian_packages "${MIRELO_TEST_PACKAGES[@]}" "${MIRELO_FUZZ_PACKAGES[@]}"

mapfile -t pythons < <(supported_pythons)
chosen=("${pythons[0]}")
if [ "${#pythons[@]}" -gt 1 ]; then
    chosen+=("${pythons[-1]}")
fi

venvs=()
for python in "${chosen[@]}"; do
    venvs+=("$(ensure_venv "$python")")
done

for venv in "${venvs[@]}"; do
    install_project "$venv" "[test]" -C cmake.define.MIRELO_WERROR=ON
    run_pytest "$venv" "$@"
done

# Unless the arguments pick tests of their own.
if ! printf '%s\n' "$@" | grep -qE '^(\./)?tests/|^-[km]'; then
    run_plain_route_tests "${venvs[-1]}" "$@"
fi
run_cxx_tests "${venvs[-1]}" g++ "the C++ unit tests"
# The module too with clang, whose warnings differ from GCC's.
run_cxx_tests "${venvs[-1]}" clang++ "the C++ unit tests and the module" \
    -DMIRELO_PYTHON_MODULE=ON -DPython_EXECUTABLE="${venvs[-1]}/bin/python"
check_formatting
# A short bounded fuzz run against the plain algorithm; tools/fuzz.sh for longer.
"$MIRELO_ROOT/tools/fuzz.sh" "${MIRELO_FUZZ_SECONDS:-15}"
"$MIRELO_ROOT/tools/wheel_check.sh"
"$MIRELO_ROOT/tools/windows_check.sh"
"$MIRELO_ROOT/tools/cross_check.sh"
