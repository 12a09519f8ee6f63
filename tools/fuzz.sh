#!/usr/bin/env bash
# Coverage-guided fuzzing against the plain algorithm: the module's functions
# from Python (fuzz/fuzz_translation.py, atheris) and the native engine on
# every route (fuzz/fuzz_engine.cpp, libFuzzer, built with clang). Runs each
# target for a bounded time: `tools/fuzz.sh [SECONDS]`, default 60 per
# target. The corpus is kept in fuzz/corpus/<target>; an input that makes a
# difference is written to fuzz/crashes/ and the script fails.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$MIRELO_ROOT"
seconds="${1:-60}"

ensure_debian_packages "${MIRELO_TEST_PACKAGES[@]}" "${MIRELO_FUZZ_PACKAGES[@]}"
mapfile -t pythons < <(supported_pythons)
# atheris ships wheels up to a certain CPython: take the newest one it installs on.
venv=""
for ((i = ${#pythons[@]} - 1; i >= 0; i--)); do
    candidate="$(ensure_venv "${pythons[i]}")"
    if "$candidate/bin/python" -c 'import atheris' 2>/dev/null ||
        "$candidate/bin/python" -m pip install -q --disable-pip-version-check --only-binary :all: \
            atheris >/dev/null 2>&1; then
        venv="$candidate"
        break
    fi
done
[ -n "$venv" ] || { say "no CPython here takes atheris"; exit 1; }
install_project "$venv" "" -C cmake.define.MIRELO_WERROR=ON

export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
on_display=()
[ -n "${DISPLAY:-}" ] || on_display=(xvfb-run -a)

# Runs a libFuzzer target: its name, then the command; fails with the tail
# of its log when it found a difference.
run_target() {
    local name="$1" log status=0
    shift
    mkdir -p "fuzz/corpus/$name"
    log="$(mktemp)"
    say "Fuzzing $name for $seconds s"
    "$@" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -artifact_prefix=fuzz/crashes/ \
        -print_final_stats=1 "fuzz/corpus/$name" >"$log" 2>&1 || status=$?
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss)' "$log" >&2 || true
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$log" >&2
        say "$name found a difference: see fuzz/crashes/"
    fi
    rm -f "$log"
    return "$status"
}

build_native_target() {
    CXX=clang++ "$venv/bin/cmake" -S . -B build/fuzz -DMIRELO_FUZZ=ON -DMIRELO_PYTHON_MODULE=OFF \
        -DMIRELO_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
        "$venv/bin/cmake" --build build/fuzz --parallel 2 --target fuzz_engine
}

mkdir -p fuzz/crashes
run_target fuzz_translation "${on_display[@]}" "$venv/bin/python" -m fuzz.fuzz_translation
run_logged "Building the native fuzz target with clang" build_native_target
run_target fuzz_engine build/fuzz/fuzz_engine
