#!/usr/bin/env bash
# Builds Mirelo for Windows x86_64 with MinGW-w64 (optimised, warnings as
# errors): the engine, the platform layer, the mirelo command and the C++
# unit tests, and checks under Wine that
#   - mirelo.exe imports no DLL but the system's, and runs alone in a folder;
#   - every C++ unit test passes (the platform tests take the Windows layer:
#     the icon folder in TEMP, file views, names beyond ASCII);
#   - the command line translates every language there and back through
#     files and pipes, bytes as they are (CR, LF, Ctrl-Z, NUL), from files
#     named beyond ASCII and of tens of megabytes, and that its errors and
#     exit statuses are those of the native build, with output to a file cut
#     off again after an error (redirected by Windows' own cmd);
# and that the module's sources compile for Windows against CPython's Windows
# headers (Include/ and PC/pyconfig.h of Debian's CPython source, cached under
# build/). Tk's Windows-only handling of .ico files cannot run here.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$MIRELO_ROOT"

WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64)
TRIPLE=x86_64-w64-mingw32
BUILD="$MIRELO_ROOT/build/windows"
# The DLLs every Windows has; anything else would have to ship beside mirelo.exe.
SYSTEM_DLLS='^(kernel32|msvcrt|ucrtbase|shell32|user32|advapi32|ntdll|api-ms-win-.*)\.dll$'

fail() {
    say "windows check: $*"
    exit 1
}

# Debian's wine64 keeps its loader out of PATH; the wine package adds one.
find_wine() {
    local candidate
    for candidate in "$(command -v wine || true)" /usr/lib/wine/wine64 /usr/lib/wine/wine; do
        if [ -n "$candidate" ] && [ -x "$candidate" ]; then
            printf '%s\n' "$candidate"
            return 0
        fi
    done
    fail "no Wine loader found"
}

# A Wine prefix of our own under build/, made once; one wineserver stays up
# for the whole check, since starting it again for each program costs seconds.
start_wine() {
    export WINEPREFIX="$MIRELO_ROOT/build/wine-prefix" WINEDEBUG=-all
    # Console programs only: no prompt to install Mono or Gecko, no window.
    export WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
    unset DISPLAY
    WINE="$(find_wine)"
    WINESERVER="$(dirname "$WINE")/wineserver"
    [ -x "$WINESERVER" ] || WINESERVER="$(command -v wineserver)"
    mkdir -p "$WINEPREFIX"
    # A server left by an earlier run of this check gives way to ours.
    if ! "$WINESERVER" --persistent 2>/dev/null; then
        "$WINESERVER" --kill 2>/dev/null || true
        "$WINESERVER" --wait 2>/dev/null || true
        "$WINESERVER" --persistent
    fi
    trap '"$WINESERVER" --kill || true' EXIT
    # Wine's own services start now, with their output in a log: started by
    # a later program, they would keep its pipes open, and its reader waiting.
    if [ -f "$WINEPREFIX/system.reg" ]; then
        run_logged "Starting Wine" "$WINE" wineboot
    else
        run_logged "Making the Wine prefix" "$WINE" wineboot --init
    fi
}

check_imports() {
    local program dll
    for program in "$BUILD"/*.exe; do
        while read -r dll; do
            grep -qiE "$SYSTEM_DLLS" <<<"$dll" || fail "${program##*/} needs $dll"
        done < <("$TRIPLE-objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p')
    done
    local alone
    alone="$(mktemp -d "${TMPDIR:-/tmp}/mirelo-alone.XXXXXX")"
    cp "$BUILD/mirelo.exe" "$alone/"
    [ "$(cd "$alone" && "$WINE" ./mirelo.exe --version)" = "mirelo $(project_version)" ] ||
        fail "mirelo.exe does not run alone in a folder"
    rm -rf "$alone"
    say "mirelo.exe and the tests import system DLLs only; mirelo.exe runs alone"
}

project_version() {
    sed -n 's/^version = "\(.*\)"$/\1/p' "$MIRELO_ROOT/pyproject.toml"
}

# Include/ and PC/pyconfig.h of the CPython that Debian's python3 is, from
# its source package, kept in build/ between runs.
windows_python_headers() {
    local headers="$MIRELO_ROOT/build/cpython-windows" package suite tarball
    if [ ! -f "$headers/PC/pyconfig.h" ] || [ ! -f "$headers/Include/Python.h" ]; then
        package="$(apt-cache depends python3 | sed -n 's/^ *Depends: \(python3\.[0-9]*\)$/\1/p' |
            head -n 1)"
        ensure_debian_sources "$package"
        suite="$(. /etc/os-release && printf '%s' "${VERSION_CODENAME:-}")"
        rm -rf "$headers.download" "$headers"
        mkdir -p "$headers.download" "$headers"
        # The release's own version: an update's files may be gone from the mirror.
        (cd "$headers.download" &&
            run_logged "Downloading the source of $package" \
                apt-get source --download-only -q "$package${suite:+/$suite}")
        tarball="$(ls "$headers.download"/*.orig.tar.* | head -n 1)"
        tar -xf "$tarball" -C "$headers" --strip-components=1 --wildcards \
            '*/Include/*' '*/PC/pyconfig.h'
        rm -rf "$headers.download"
    fi
    printf '%s\n' "$headers"
}

# Each source of the module, for Windows, with the module's warnings: the
# module itself cannot be linked here (no python3.dll to link with).
check_module_sources() {
    local headers source count=0
    headers="$(windows_python_headers)"
    for source in src/module/*.cpp; do
        "$TRIPLE-g++-posix" -std=c++17 -fsyntax-only -Wall -Wextra -Werror -DNDEBUG \
            -I"$headers/Include" -I"$headers/PC" -Isrc/engine/include -Isrc/languages/include \
            -Isrc/platform/include -Isrc/icons/include -Isrc/module "$source" ||
            fail "$source does not compile for Windows"
        count=$((count + 1))
    done
    say "the module's $count sources compile for Windows against CPython $(sed -n \
        's/^#define PY_VERSION *"\(.*\)"$/\1/p' "$headers/Include/patchlevel.h")"
}

ensure_debian_packages "${WINDOWS_PACKAGES[@]}"
venv="$(tools_venv)"
run_logged "Building for Windows with MinGW-w64" build_cxx "$venv" "$BUILD" \
    -DCMAKE_TOOLCHAIN_FILE="$MIRELO_ROOT/cmake/toolchains/mingw-w64-x86_64.cmake"
run_logged "Building the native command line to compare with" build_cxx "$venv" \
    "$MIRELO_ROOT/build/cxx-g++" -DCMAKE_CXX_COMPILER=g++
check_module_sources
start_wine
check_imports
say "The C++ unit tests under Wine"
run_cxx_tests_under "$venv" "$BUILD" wine "$WINE"
say "The command line under Wine"
"$venv/bin/python" tools/cli_round_trip.py --wrapper "$WINE" --cmd --large 30 \
    --reference build/cxx-g++/mirelo "$BUILD/mirelo.exe"
say "windows check passed"
