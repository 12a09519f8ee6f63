"""Runs a mirelo command line through every language: Hi gives the spelling
the README shows, a mixed text comes back from a file and from decode
--detect, and --version names the project's version. Then: bytes that text
mode would change (CR, LF, Ctrl-Z, NUL) pass through pipes unchanged, files
with names beyond ASCII are read, bad input and bad usage end with the
documented status and message, and output to a regular file is cut off again
after an error.

Needs no display, so the wheel check and cibuildwheel run it on every
platform; the Windows and ARM64 checks run a cross-built mirelo through Wine
or QEMU with --wrapper. Usage:

    python tools/cli_round_trip.py [options] [MIRELO]

MIRELO is by default the mirelo among the running interpreter's scripts.
  --wrapper 'WORDS'  run MIRELO as WORDS MIRELO ... (e.g. 'qemu-aarch64 -L DIR')
  --reference PATH   a mirelo known to be right (the native build): every bad
                     input must give its exit status, output and messages, and
                     every translation its bytes
  --large MB         also translate texts whose translations take about MB
                     megabytes, from files (seen in place) and from pipes
  --cmd              MIRELO is a Windows program run by the wrapper (Wine):
                     output to files goes through the wrapper's `cmd /c`
                     redirection, as on Windows
"""

import argparse
import os
import random
import re
import shlex
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
# What a stream in text mode would change: CR LF pairs and lone ones, Ctrl-Z
# (the end of a text file), NUL.
BINARY_TEXT = b"\x1a\r\nline\n\r\x00Ctrl-Z \x1a in the middle\r\r\n\x00" + TEXT + b"\x1a"
NAME_BEYOND_ASCII = "猫语 ü😀.txt"

USAGE, INPUT = 2, 1
# Bad invocations: the arguments, the standard input, extra environment, and
# the exit status the help text gives for them.
SURROGATE = "".join({"1": "吱吱", "0": "唧唧"}[digit] for digit in format(0xD800, "b"))
BAD_CASES = [
    ([], b"", {}, USAGE),
    (["translate", "cat"], b"", {}, USAGE),
    (["encode"], b"", {}, USAGE),
    (["decode", "dog"], b"", {}, USAGE),
    (["encode", "猫"], b"", {}, USAGE),
    (["encode", "cat", "a", "b"], b"", {}, USAGE),
    (["decode", "--detect", "a", "b"], b"", {}, USAGE),
    (["encode", "--detect"], b"", {}, USAGE),
    (["encode", "--fast", "cat"], b"", {}, USAGE),
    (["--chunk-size=0", "encode", "cat"], b"", {}, USAGE),
    (["encode", "cat"], b"Hi", {"MIRELO_KERNEL": "fast"}, USAGE),
    (["decode", "pigeon"], "哩哩咕咕 鸽咕哩哩咕  哩X哩".encode("utf-8"), {}, INPUT),
    (["decode", "bubble"], "OooOooo0OOoOooO0-O".encode("utf-8"), {}, INPUT),
    (["decode", "monkey"], SURROGATE.encode("utf-8"), {}, INPUT),
    (["encode", "cat"], b"valid, then \xff", {}, INPUT),
    (["decode", "cat"], "喵喵？".encode("utf-8")[:-1], {}, INPUT),
    (["decode", "--detect"], b"plain words", {}, INPUT),
    (["encode", "cat", "缺失的文件.txt"], b"", {}, INPUT),
    (["--chunk-size=1", "decode", "cat", "-"], "喵喵喵！喵 喵呜~喵喵？x".encode("utf-8"), {}, INPUT),
]


class Failure(Exception):
    pass


def expect(what, got, wanted):
    if got != wanted:
        raise Failure("%s: got %s, expected %s" % (what, shown(got), shown(wanted)))


def shown(value):
    text = repr(value)
    return text if len(text) < 300 else "%s... (%d long)" % (text[:300], len(value))


class Program:
    """A mirelo to run, natively or through a wrapper command."""

    def __init__(self, path, wrapper=(), through_cmd=False):
        # Runs start in other folders too.
        self.path = os.path.abspath(path) if os.path.exists(path) else path
        self.wrapper = list(wrapper)
        self.through_cmd = through_cmd

    def run(self, args, data=b"", folder=None, extra_environment=None):
        environment = dict(os.environ)
        environment.update(extra_environment or {})
        return subprocess.run(self.wrapper + [self.path] + args, input=data, cwd=folder,
                              env=environment, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=900)

    def translate(self, args, data=b"", folder=None):
        done = self.run(args, data, folder)
        if done.returncode != 0 or done.stderr:
            raise Failure("mirelo %s: exit status %d: %s" % (
                " ".join(args), done.returncode, done.stderr.decode("utf-8", "replace").strip()))
        return done.stdout

    def to_file(self, args, folder, name, append, data=b""):
        """Runs with standard output sent to the file `name` in `folder`, as
        a shell's > or >> does, and `data` through a pipe on standard input;
        the exit status and standard error."""
        if not self.through_cmd:
            with open(os.path.join(folder, name), "ab" if append else "wb") as out:
                done = subprocess.run(self.wrapper + [self.path] + args, cwd=folder, input=data,
                                      stdout=out, stderr=subprocess.PIPE, timeout=900)
            return done.returncode, done.stderr
        # A Unix redirection gives a Windows program a handle it cannot cut:
        # the Windows command interpreter opens the file as Windows does.
        # Wine passes each word on, quoted where it holds a blank.
        program = "Z:" + self.path.replace("/", "\\")
        line = [program] + args + [">>" if append else ">", name]
        done = subprocess.run(self.wrapper + ["cmd", "/c"] + line, cwd=folder, input=data,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=900)
        return done.returncode, done.stderr


def project_version():
    with open(os.path.join(ROOT, "pyproject.toml"), encoding="utf-8") as project:
        return re.search(r'^version = "([^"]+)"', project.read(), re.M).group(1)


def check_languages(program, folder):
    version = project_version()
    expect("--version", program.translate(["--version"]), ("mirelo %s\n" % version).encode())
    usage = program.translate(["--help"]).split(b"\n", 1)[0]
    expect("--help", usage, b"Usage: mirelo encode LANGUAGE [FILE]")
    for name, alias, hi in LANGUAGES:
        expect("Hi in " + alias, program.translate(["encode", alias], b"Hi"), hi.encode("utf-8"))
        encoded = program.translate(["encode", name, "-"], TEXT)
        path = os.path.join(folder, alias + ".txt")
        with open(path, "wb") as out:
            out.write(encoded)
        expect("decoding %s from a file" % alias, program.translate(["decode", alias, path]),
               TEXT)
        expect("decode --detect of " + alias, program.translate(["decode", "--detect"], encoded),
               TEXT)
    return version


def check_bytes_and_names(program, reference, folder):
    """Standard input and output carry bytes, and names beyond ASCII name
    their files (given relative to the working folder, as the reference is)."""
    with open(os.path.join(folder, NAME_BEYOND_ASCII), "wb") as out:
        out.write(BINARY_TEXT)
    for _, alias, _ in LANGUAGES:
        encoded = program.translate(["encode", alias], BINARY_TEXT)
        if reference:
            expect("encoding CR, LF, Ctrl-Z and NUL in " + alias, encoded,
                   reference.translate(["encode", alias], BINARY_TEXT))
        expect("CR, LF, Ctrl-Z and NUL back from " + alias,
               program.translate(["decode", alias], encoded), BINARY_TEXT)
        expect("a file named beyond ASCII, in " + alias,
               program.translate(["encode", alias, NAME_BEYOND_ASCII], folder=folder), encoded)
        encoded_name = alias + " 编码 ü😀.txt"
        with open(os.path.join(folder, encoded_name), "wb") as out:
            out.write(encoded)
        expect("decoding a file named beyond ASCII, in " + alias,
               program.translate(["decode", alias, encoded_name], folder=folder), BINARY_TEXT)


def check_errors(program, reference, folder):
    """Bad usage and bad input: the status the help text gives, a message on
    standard error, and for bad usage nothing on standard output; with a
    reference, exactly its status, output and message."""
    os.mkdir(os.path.join(folder, "a folder"))
    cases = BAD_CASES + [(["encode", "cat", "a folder"], b"", {}, INPUT)]
    for args, data, environment, status in cases:
        got = program.run(args, data, folder, environment)
        what = "mirelo %s" % " ".join(args)
        expect(what + ": exit status", got.returncode, status)
        if status == USAGE:
            expect(what + ": output", got.stdout, b"")
        if not got.stderr.startswith(b"mirelo: ") or not got.stderr.endswith(b"\n"):
            raise Failure("%s: no message on standard error: %s" % (what, shown(got.stderr)))
        # Folders as input: Windows refuses to open them, POSIX to read them.
        if reference and "a folder" not in args:
            wanted = reference.run(args, data, folder, environment)
            expect(what + ": as the reference", (got.returncode, got.stdout, got.stderr),
                   (wanted.returncode, wanted.stdout, wanted.stderr))


def check_nothing_partial(program, reference, folder):
    """A translation that fails after output was written: a regular file is
    cut back to what it held, a pipe keeps the bytes and the message says how
    many."""
    valid = ("猫" * 50000).encode("utf-8")
    with open(os.path.join(folder, "broken.txt"), "wb") as out:
        out.write(program.translate(["encode", "monkey"], valid) + "吱吱X".encode("utf-8"))
    with open(os.path.join(folder, "broken.txt"), "rb") as source:
        broken = source.read()
    # From the file, seen in pieces, and from a pipe, read in chunks.
    for source, data in ((["broken.txt"], b""), ([], broken)):
        for append, before in ((False, b""), (True, b"kept\r\n")):
            with open(os.path.join(folder, "out.txt"), "wb") as out:
                out.write(before)
            status, error = program.to_file(["decode", "monkey"] + source, folder, "out.txt",
                                            append, data)
            what = "output to a file (%s, from %s) after an error" % (
                ">>" if append else ">", "a file" if source else "a pipe")
            with open(os.path.join(folder, "out.txt"), "rb") as out:
                expect(what, out.read(), before)
            expect(what + ": exit status", status, INPUT)
            if "is not in 猴语" not in error.decode("utf-8", "replace"):
                raise Failure("%s: the error is not named: %s" % (what, shown(error)))
    got = program.run(["decode", "monkey"], broken)
    expect("exit status after an error in a pipe", got.returncode, INPUT)
    if not got.stdout or not valid.startswith(got.stdout):
        raise Failure("a pipe before the error got %s" % shown(got.stdout))
    counted = b"mirelo: the %d bytes written before the error are incomplete: discard them\n" % (
        len(got.stdout))
    expect("the count of bytes in a pipe", got.stderr[-len(counted):], counted)
    if reference:
        wanted = reference.run(["decode", "monkey"], broken)
        expect("the error in a pipe as the reference", got.stderr[:-len(counted)],
               wanted.stderr[:wanted.stderr.rindex(b"mirelo: the ")])


def large_text(megabytes, ratio):
    """Random text whose translation takes about `megabytes`, at `ratio`
    bytes of translation a byte of text: every kind of character, the ones
    text mode would change among them."""
    pool = "abcXYZ 019,.\t\r\n\x1a\x00" + "猫语翻译鸽气泡ü" + "😀🐱"
    chosen = random.Random(megabytes)
    piece = "".join(chosen.choice(pool) for _ in range(4096))
    count = max(1, int(megabytes * 1e6 / ratio / len(piece.encode("utf-8"))))
    return "".join(piece[i:] + piece[:i] for i in range(count)).encode("utf-8")


def check_large(program, reference, folder, megabytes):
    """Translations of tens of megabytes, decoded from files (which the
    command line sees in place, piece by piece) and from pipes."""
    for _, alias, _ in LANGUAGES:
        sample = program.translate(["encode", alias], BINARY_TEXT)
        text = large_text(megabytes, len(sample) / len(BINARY_TEXT))
        with open(os.path.join(folder, "large.txt"), "wb") as out:
            out.write(text)
        encoded = program.translate(["encode", alias, "large.txt"], folder=folder)
        if reference:
            expect("a large text encoded in " + alias, encoded,
                   reference.translate(["encode", alias, "large.txt"], folder=folder))
        with open(os.path.join(folder, "large." + alias), "wb") as out:
            out.write(encoded)
        expect("%d MB of %s decoded from a file" % (len(encoded) // 1000000, alias),
               program.translate(["decode", alias, "large." + alias], folder=folder), text)
        expect("%d MB of %s decoded from a pipe" % (len(encoded) // 1000000, alias),
               program.translate(["decode", alias], encoded), text)
        status, error = program.to_file(["decode", alias, "large." + alias], folder,
                                        "large.out", False)
        expect("decoding %s into a file" % alias, (status, error), (0, b""))
        with open(os.path.join(folder, "large.out"), "rb") as out:
            expect("%s decoded into a file" % alias, out.read(), text)
        os.remove(os.path.join(folder, "large." + alias))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("program", nargs="?")
    parser.add_argument("--wrapper", default="")
    parser.add_argument("--reference")
    parser.add_argument("--large", type=int, default=0, metavar="MB")
    parser.add_argument("--cmd", action="store_true")
    options = parser.parse_args()
    suffix = ".exe" if os.name == "nt" else ""
    path = options.program or os.path.join(sysconfig.get_path("scripts"), "mirelo" + suffix)
    program = Program(path, shlex.split(options.wrapper), options.cmd)
    reference = Program(options.reference) if options.reference else None
    folder = tempfile.mkdtemp(prefix="mirelo-round-trip-")
    try:
        version = check_languages(program, folder)
        check_bytes_and_names(program, reference, folder)
        check_errors(program, reference, folder)
        check_nothing_partial(program, reference, folder)
        if options.large:
            check_large(program, reference, folder, options.large)
    except (Failure, OSError, subprocess.TimeoutExpired) as error:
        sys.exit("%s: %s" % (path, error))
    finally:
        shutil.rmtree(folder)
    print("mirelo %s%s: four languages there and back, from files and pipes; bytes and names "
          "kept; errors%s; nothing partial passes%s" % (
              version, " under " + options.wrapper if options.wrapper else "",
              " as the reference's" if reference else " as documented",
              ", %d MB translations" % options.large if options.large else ""))


if __name__ == "__main__":
    main()
