"""Runs the installed mirelo command line through every language: Hi gives
the spelling the README shows, a mixed text comes back from a file and from
decode --detect, and --version names the project's version.

Needs no display, so the wheel check and cibuildwheel run it on every
platform. Usage: python tools/cli_round_trip.py [MIRELO]; by default the
mirelo among the running interpreter's scripts.
"""

import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# name, English alias, Hi in the language
LANGUAGES = [
    ("气泡语", "bubble", "OooOooo0OOoOooO"),
    ("鸽语", "pigeon", "哩哩咕咕 鸽咕哩哩咕"),
    ("猫语", "cat", "喵喵喵！喵喵喵！喵喵？喵喵？ 喵喵喵？喵喵喵！喵喵喵！喵喵？"),
    ("猴语", "monkey", "吱吱唧唧唧唧吱吱唧唧唧唧唧唧 吱吱吱吱唧唧吱吱唧唧唧唧吱吱"),
]
TEXT = "Mirelo 翻译\t😀\n".encode("utf-8")


class Failure(Exception):
    pass


def run(program, args, data=b""):
    done = subprocess.run([program] + args, input=data, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=60)
    if done.returncode != 0:
        raise Failure("mirelo %s: exit status %d: %s" % (
            " ".join(args), done.returncode, done.stderr.decode("utf-8", "replace").strip()))
    return done.stdout


def expect(what, got, wanted):
    if got != wanted:
        raise Failure("%s: got %r, expected %r" % (what, got, wanted))


def project_version():
    with open(os.path.join(ROOT, "pyproject.toml"), encoding="utf-8") as project:
        return re.search(r'^version = "([^"]+)"', project.read(), re.M).group(1)


def check(program, folder):
    version = project_version()
    expect("--version", run(program, ["--version"]), ("mirelo %s\n" % version).encode())
    usage = run(program, ["--help"]).split(b"\n", 1)[0]
    expect("--help", usage, b"Usage: mirelo encode LANGUAGE [FILE]")
    for name, alias, hi in LANGUAGES:
        expect("Hi in " + alias, run(program, ["encode", alias], b"Hi"), hi.encode("utf-8"))
        encoded = run(program, ["encode", name, "-"], TEXT)
        path = os.path.join(folder, alias + ".txt")
        with open(path, "wb") as out:
            out.write(encoded)
        expect("decoding %s from a file" % alias, run(program, ["decode", alias, path]), TEXT)
        expect("decode --detect of " + alias, run(program, ["decode", "--detect"], encoded), TEXT)
    return version


def main():
    suffix = ".exe" if os.name == "nt" else ""
    program = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        sysconfig.get_path("scripts"), "mirelo" + suffix)
    folder = tempfile.mkdtemp(prefix="mirelo-round-trip-")
    try:
        version = check(program, folder)
    except (Failure, OSError, subprocess.TimeoutExpired) as error:
        sys.exit("%s: %s" % (program, error))
    finally:
        shutil.rmtree(folder)
    print("mirelo %s: four languages there and back, from files and pipes" % version)


if __name__ == "__main__":
    main()
