#!/usr/bin/env bash
# Builds the module and the C++ unit tests with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the whole pytest suite and ctest
# against them. The interpreter itself is not instrumented, so the ASan
# runtime is preloaded and leak detection is off (the interpreter keeps
# memory at exit on purpose); any other report ends the run with an error.
# Arguments go to pytest, e.g. `tools/sanitize.sh tests/test_bad_input.py`.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$MIRELO_ROOT"

ensure_debian_packages "${MIRELO_TEST_PACKAGES[@]}"
mapfile -t pythons < <(supported_pythons)
version="$(python_minor_version "${pythons[-1]}")"
# A venv of its own, so that the sanitized module never replaces the plain one.
venv="$MIRELO_ROOT/.venv/sanitize-$version"
build="$MIRELO_ROOT/build/sanitize-$version"
if [ ! -x "$venv/bin/python" ]; then
    run_logged "Creating $venv" "${pythons[-1]}" -m venv "$venv"
    run_logged "Installing build tools into $venv" install_build_tools "$venv"
fi

run_logged "Building Mirelo with sanitizers for Python $version" \
    "$venv/bin/python" -m pip install --disable-pip-version-check --no-build-isolation \
    -C "build-dir=$build" -C cmake.define.MIRELO_SANITIZE=ON -C cmake.define.MIRELO_WERROR=ON \
    -C cmake.build-type=RelWithDebInfo "$MIRELO_ROOT[test]"

asan_runtime="$(gcc -print-file-name=libasan.so)"
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:halt_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

paths=(tests)
for arg in "$@"; do
    case "$arg" in tests/* | ./tests/*) paths=() ;; esac
done
say "Running the tests against the sanitized build"
LD_PRELOAD="$asan_runtime" "$venv/bin/python" -m pytest "${paths[@]}" "$@"

build_sanitized_cxx_tests() {
    "$venv/bin/cmake" -S . -B build/sanitize-cxx -DMIRELO_CXX_TESTS=ON \
        -DMIRELO_PYTHON_MODULE=OFF -DMIRELO_SANITIZE=ON -DMIRELO_WERROR=ON \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
        "$venv/bin/cmake" --build build/sanitize-cxx --parallel 2
}
run_logged "Building the C++ unit tests with sanitizers" build_sanitized_cxx_tests
ASAN_OPTIONS="${ASAN_OPTIONS/detect_leaks=0/detect_leaks=1}" \
    "$venv/bin/ctest" --test-dir build/sanitize-cxx --output-on-failure --no-tests=error
say "Sanitized build: all tests passed"
