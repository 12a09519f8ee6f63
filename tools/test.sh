#!/usr/bin/env bash
# Installs what the tests need, builds the module with warnings as errors and
# runs the whole pytest suite on the oldest and the newest CPython (3.7 or
# newer) found, then builds and runs the C++ unit tests and checks the C++
# formatting.
# Arguments go to pytest, e.g. `tools/test.sh -k icons` or
# `tools/test.sh tests/test_startup.py`.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$MIRELO_ROOT"

check_formatting() {
    local files
    mapfile -t files < <(find src tests/cpp -name '*.cpp' -o -name '*.hpp' -o -name '*.h' \
        2>/dev/null | sort)
    say "Checking the formatting of ${#files[@]} C++ files"
    clang-format --dry-run --Werror "${files[@]}"
}

build_cxx_tests() {
    "$1/bin/cmake" -S . -B build/cxx -DMIRELO_CXX_TESTS=ON -DMIRELO_PYTHON_MODULE=OFF \
        -DMIRELO_WERROR=ON &&
        "$1/bin/cmake" --build build/cxx --parallel 2
}

run_cxx_tests() {
    run_logged "Building the C++ unit tests" build_cxx_tests "$1"
    "$1/bin/ctest" --test-dir build/cxx --output-on-failure --no-tests=error
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

ensure_debian_packages "${MIRELO_TEST_PACKAGES[@]}"

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

run_cxx_tests "${venvs[-1]}"
check_formatting
# A short bounded fuzz run against the plain algorithm; tools/fuzz.sh for longer.
"$MIRELO_ROOT/tools/fuzz.sh" "${MIRELO_FUZZ_SECONDS:-15}"
