#!/usr/bin/env bash
# Builds the sdist and, from it, the wheel with `python -m build`, as a user or
# a packager does; checks that auditwheel finds a manylinux tag for the wheel;
# installs the wheel into a fresh virtual environment and runs what it
# installed: the command line, the window (under Xvfb), and the desktop entry,
# icons, manual page and completion. Uses the newest CPython that pyenv has,
# or MIRELO_PYTHON. Set MIRELO_KEEP_DIST=DIR to keep the sdist and the wheel.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$MIRELO_ROOT"

WHEEL_CHECK_PACKAGES=(libtk8.6 xvfb openbox xdotool x11-utils xclip fonts-wqy-microhei
    desktop-file-utils man-db)
ICON_SIZES=(16 32 48 64 128 256)

fail() {
    say "wheel check: $*"
    exit 1
}

# A venv with build and auditwheel, kept between runs like the test venvs.
ensure_packaging_tools() {
    local venv="$MIRELO_ROOT/.venv/packaging-$(python_minor_version "$1")"
    if ! "$venv/bin/python" -c 'import build, auditwheel' 2>/dev/null; then
        rm -rf "$venv"
        run_logged "Creating $venv" "$1" -m venv "$venv"
        run_logged "Installing build and auditwheel into $venv" \
            "$venv/bin/python" -m pip install -q --disable-pip-version-check build auditwheel
    fi
    printf '%s\n' "$venv"
}

check_manylinux_tag() {
    local report tag
    report="$("$tools/bin/auditwheel" show "$1" 2>&1)" || fail "auditwheel show failed: $report"
    tag="$(grep -o '"manylinux_[0-9]*_[0-9]*_[A-Za-z0-9_]*"' <<<"$report" | head -n 1 | tr -d '"')"
    [ -n "$tag" ] || fail "auditwheel names no manylinux tag: $report"
    say "auditwheel: ${1##*/} is consistent with $tag"
}

# Where pip put the data files: the desktop finds the entry's command and
# icon, man finds the page through PATH, and the completion completes.
check_desktop_files() {
    local venv="$1" share="$1/share" size exec_command words
    desktop-file-validate "$share/applications/mirelo.desktop" ||
        fail "the installed desktop entry is not valid"
    exec_command="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$share/applications/mirelo.desktop")"
    [ -x "$venv/bin/$exec_command" ] || fail "Exec=$exec_command is not among the scripts"
    for size in "${ICON_SIZES[@]}"; do
        [ -f "$share/icons/hicolor/${size}x${size}/apps/mirelo.png" ] ||
            fail "no ${size}x${size} icon"
    done
    [ "$(PATH="$venv/bin:$PATH" man -w mirelo)" = "$share/man/man1/mirelo.1" ] ||
        fail "man does not find the installed page"
    words="$(bash -c 'source "$1"; COMP_WORDS=(mirelo encode ""); COMP_CWORD=2; _mirelo
        echo "${COMPREPLY[*]}"' _ "$share/bash-completion/completions/mirelo")"
    [ "$words" = "气泡语 bubble 鸽语 pigeon 猫语 cat 猴语 monkey" ] ||
        fail "the completion after 'mirelo encode' gives: $words"
    say "desktop files: entry valid, ${#ICON_SIZES[@]} icons, man page found, completion works"
}

ensure_debian_packages "${WHEEL_CHECK_PACKAGES[@]}"
python="${MIRELO_PYTHON:-$(supported_pythons | tail -n 1)}"
tools="$(ensure_packaging_tools "$python")"
work="$(mktemp -d "${TMPDIR:-/tmp}/mirelo-wheel.XXXXXX")"
trap 'rm -rf "$work"' EXIT

export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"
run_logged "Building the sdist and the wheel with $("$python" --version)" \
    "$tools/bin/python" -m build --outdir "$work/dist" .
sdists=("$work"/dist/*.tar.gz)
wheels=("$work"/dist/*.whl)
[ "${#sdists[@]}" -eq 1 ] && [ "${#wheels[@]}" -eq 1 ] && [ -f "${wheels[0]}" ] ||
    fail "expected one sdist and one wheel, found: $(ls "$work/dist")"
say "built ${sdists[0]##*/} ($(wc -c <"${sdists[0]}") bytes), ${wheels[0]##*/} ($(wc -c <"${wheels[0]}") bytes)"
check_manylinux_tag "${wheels[0]}"

venv="$work/venv"
run_logged "Installing the wheel into a fresh virtual environment" \
    bash -c '"$1" -m venv "$2" && "$2/bin/python" -m pip install -q --disable-pip-version-check "$3"' \
    _ "$python" "$venv" "${wheels[0]}"
# From a folder of its own, so that nothing of the source tree is imported.
(cd "$work" && "$venv/bin/python" "$MIRELO_ROOT/tools/cli_round_trip.py" >&2) || fail "command line"
(cd "$work" && "$venv/bin/python" "$MIRELO_ROOT/tools/wheel_window_check.py" >&2) || fail "window"
check_desktop_files "$venv"

if [ -n "${MIRELO_KEEP_DIST:-}" ]; then
    mkdir -p "$MIRELO_KEEP_DIST"
    cp "${sdists[0]}" "${wheels[0]}" "$MIRELO_KEEP_DIST/"
fi
say "wheel check passed"
