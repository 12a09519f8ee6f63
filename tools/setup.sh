# Shared install steps for tools/start.sh and tools/test.sh; source it, do not run it.
# Every step checks first and does nothing when its work is already done, so
# a second run is quiet and quick.

MIRELO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Debian packages the application needs at run time, and those the tests add.
MIRELO_RUN_PACKAGES=(libtk8.6 xclip fonts-wqy-microhei x11-utils)
MIRELO_TEST_PACKAGES=(libtk8.6 xvfb xclip xdotool openbox x11-utils fonts-wqy-microhei imagemagick
    clang-format)
# The second compiler, and libFuzzer with it.
MIRELO_FUZZ_PACKAGES=(clang libclang-rt-14-dev)

# Tools inside each virtual environment; the project itself brings its
# runtime dependency and, with the test extra, pytest and hypothesis.
MIRELO_BUILD_TOOLS=(scikit-build-core "cmake>=3.17" ninja)

say() { printf '%s\n' "$*" >&2; }

# Runs a command with its output kept in a log; the log is shown only when the
# command fails, so a successful step prints nothing but its one-line title.
run_logged() {
    local title="$1" log status=0
    shift
    log="$(mktemp "${TMPDIR:-/tmp}/mirelo-setup.XXXXXX")"
    say "$title"
    "$@" >"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        cat "$log" >&2
        say "failed: $title"
    fi
    rm -f "$log"
    return "$status"
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        say "need root to run: $*"
        return 1
    fi
}

missing_debian_packages() {
    local package
    for package in "$@"; do
        if ! dpkg -s "$package" 2>/dev/null | grep -q '^Status: install ok installed'; then
            printf '%s\n' "$package"
        fi
    done
}

# apt-get update runs only when something is missing.
ensure_debian_packages() {
    local missing
    mapfile -t missing < <(missing_debian_packages "$@")
    [ "${#missing[@]}" -eq 0 ] && return 0
    export DEBIAN_FRONTEND=noninteractive
    run_logged "Updating the Debian package lists" as_root apt-get update -q
    run_logged "Installing Debian packages: ${missing[*]}" \
        as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Prints "X.Y" for the interpreter given.
python_minor_version() {
    "$1" -c 'import sys; print("%d.%d" % sys.version_info[:2])'
}

# The CPythons 3.7 and newer that pyenv keeps side by side, oldest first, one
# interpreter path a line; the interpreter on PATH when pyenv has none.
supported_pythons() {
    local root dir version
    root="$(pyenv root 2>/dev/null || printf '%s' "$HOME/.pyenv")"
    if [ -d "$root/versions" ]; then
        for dir in "$root"/versions/*; do
            version="${dir##*/}"
            [[ "$version" =~ ^3\.([0-9]+)\.([0-9]+)$ ]] || continue
            [ "${BASH_REMATCH[1]}" -ge 7 ] || continue
            [ -x "$root/versions/$version/bin/python3" ] || continue
            printf '%s %s\n' "$version" "$root/versions/$version/bin/python3"
        done | sort -t. -k1,1n -k2,2n -k3,3n | cut -d' ' -f2
    fi | grep . || command -v python3
}

# Makes .venv/X.Y for the interpreter given, with the build tools in it, and
# prints its path. A venv whose interpreter no longer runs is made anew.
ensure_venv() {
    local python="$1" version venv
    version="$(python_minor_version "$python")"
    venv="$MIRELO_ROOT/.venv/$version"
    if [ -x "$venv/bin/python" ] && "$venv/bin/python" -c '' 2>/dev/null &&
        [ -f "$venv/.mirelo-tools" ] &&
        [ "$(cat "$venv/.mirelo-tools")" = "${MIRELO_BUILD_TOOLS[*]}" ]; then
        printf '%s\n' "$venv"
        return 0
    fi
    if ! "$python" -c 'import tkinter' 2>/dev/null; then
        say "$python has no tkinter: install a CPython built with Tk"
        return 1
    fi
    rm -rf "$venv"
    run_logged "Creating $venv" "$python" -m venv "$venv"
    run_logged "Installing build tools into $venv" install_build_tools "$venv"
    printf '%s\n' "${MIRELO_BUILD_TOOLS[*]}" >"$venv/.mirelo-tools"
    printf '%s\n' "$venv"
}

install_build_tools() {
    local pip=("$1/bin/python" -m pip install -q --disable-pip-version-check)
    # pip older than 22.1 knows no --config-settings.
    "${pip[@]}" --upgrade pip && "${pip[@]}" "${MIRELO_BUILD_TOOLS[@]}"
}

# Builds and installs the project into the venv. scikit-build-core keeps its
# build folder per Python version, so a rebuild only compiles what changed.
# Extra arguments are added to the pip command (e.g. a config setting).
install_project() {
    local venv="$1" extra="$2" version
    shift 2
    version="$(python_minor_version "$venv/bin/python")"
    run_logged "Building Mirelo for Python $version" \
        "$venv/bin/python" -m pip install --disable-pip-version-check --no-build-isolation \
        -C "build-dir=$MIRELO_ROOT/build/$version" "$@" "$MIRELO_ROOT$extra"
}

# Lets apt-get fetch source packages: a deb-src entry beside each deb entry
# the machine already has, in files of our own; nothing when apt-get knows
# the package's source already.
ensure_debian_sources() {
    local package="$1" own="/etc/apt/sources.list.d/mirelo-sources" file
    apt-cache showsrc "$package" 2>/dev/null | grep -q '^Package:' && return 0
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] && [ "$file" != "$own.sources" ] || continue
        sed 's/^Types: *deb$/Types: deb-src/' "$file"
        printf '\n'
    done | as_root tee "$own.sources" >/dev/null
    if [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list | as_root tee "$own.list" >/dev/null
    fi
    export DEBIAN_FRONTEND=noninteractive
    run_logged "Updating the Debian package lists with their sources" as_root apt-get update -q
}

# The venv of the newest CPython found, whose cmake, ctest and python the
# builds and checks outside pytest use.
tools_venv() {
    ensure_venv "$(supported_pythons | tail -n 1)"
}

# Configures and builds FOLDER with the C++ unit tests and without the
# module, optimised as the product ships and with warnings as errors. Further
# arguments go to CMake (a compiler, a toolchain file).
build_cxx() {
    local venv="$1" folder="$2"
    shift 2
    "$venv/bin/cmake" -S "$MIRELO_ROOT" -B "$folder" -DMIRELO_CXX_TESTS=ON \
        -DMIRELO_PYTHON_MODULE=OFF -DMIRELO_WERROR=ON -DCMAKE_BUILD_TYPE=Release "$@" &&
        "$venv/bin/cmake" --build "$folder" --parallel 2
}

# Runs the C++ unit tests of the build folder FOLDER through ctest, each as
# WRAPPER... TEST (an emulator, or Wine): the tests are listed again, with
# the wrapper, in FOLDER-NAME. ctest's own emulator setting only applies to
# cross builds, and this also runs native builds on emulated processors.
run_cxx_tests_under() {
    local venv="$1" folder="$2" name="$3"
    shift 3
    local listed="$folder-$name"
    mkdir -p "$listed"
    "$venv/bin/ctest" --test-dir "$folder" --show-only=json-v1 |
        "$venv/bin/python" -c '
import json, sys
wrapper = sys.argv[1:]
quoted = lambda word: "[==[%s]==]" % word
for test in json.load(sys.stdin)["tests"]:
    print("add_test(%s %s)" % (quoted(test["name"]),
                               " ".join(quoted(word) for word in wrapper + test["command"])))
' "$@" >"$listed/CTestTestfile.cmake"
    "$venv/bin/ctest" --test-dir "$listed" --output-on-failure --no-tests=error --parallel 2
}
