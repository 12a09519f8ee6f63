"""Measures what each optional reader gains on realistic input (chat-like
text, bench/chat_text.py): the same case run with the reader and on the
route without it, in pairs taken in turn on the same machine, the gain of
each pair being the time without over the time with. Prints a line per
reader and case with the median gain of the pairs and their spread, and the
reader's lines of code.

Module cases decode 1K and 1M characters of text in a fresh process per run;
command-line cases decode the text of `--size` bytes, encoded, from a file,
or encode that text.
Translation on several processors is measured against the same program held
to one processor (taskset).

Run from the repository root:

    python -m bench.bench_readers [--rounds 5] [--size 100M] [--dir DIR] [--only NAME]
"""

import argparse
import os
import pickle
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from bench.bench_cli import byte_size, mirelo_path, settle, write_input
from bench.bench_translation import LANGUAGES, SIZES
from bench.chat_text import chat_text
from tests import plain_translation

def kernel(name):
    return ["src/engine/kernels/%s.cpp" % name, "src/engine/include/engine/kernels/%s.hpp" % name]


def cli(name):
    return ["src/cli/%s.cpp" % name, "src/cli/%s.hpp" % name]


PIECES = cli("parallel_translation") + cli("piece_work") + cli("text_cuts")

# name, its files, the cases (module decoding, or the command line's decode
# or encode; languages), the route with it and the route without it (None:
# the same program on one processor). Both directions on several processors
# share their files.
READERS = [
    ("binary groups", kernel("binary_groups"), "decode", ["bubble"], "sse2", "plain"),
    ("tokens one at a time", kernel("token_groups"), "decode", ["pigeon", "monkey"], "sse2",
     "plain"),
    ("token windows", kernel("token_vectors"), "decode", ["pigeon", "monkey"], "ssse3", "sse2"),
    ("narrowed blocks", kernel("narrow_groups"), "module", ["bubble", "pigeon", "cat", "monkey"],
     "avx2", "ssse3"),
    ("runs through bit planes", kernel("run_planes") + kernel("run_groups"), "decode", ["cat"],
     "avx2", "ssse3"),
    ("decoding on several processors", PIECES, "decode", ["bubble", "pigeon", "cat", "monkey"],
     "best", None),
    ("encoding on several processors", PIECES, "encode", ["bubble", "pigeon", "cat", "monkey"],
     "best", None),
]

ONE_MODULE_CASE = """
import pickle, sys, time
from bench import live_module
module = live_module.load()
text, values, numbers = pickle.load(open(sys.argv[1], "rb"))
module.Translation_disobey(text, values, numbers, None, 0)
best, spent = float("inf"), 0.0
while spent < 1.0:
    started = time.perf_counter()
    module.Translation_disobey(text, values, numbers, None, 0)
    elapsed = time.perf_counter() - started
    best, spent = min(best, elapsed), spent + elapsed
print(best)
"""


def lines_of_code(paths):
    """Lines that are neither blank nor comments."""
    count = 0
    for path in paths:
        with open(path, encoding="utf-8") as source:
            count += sum(1 for line in source if line.strip() and not re.match(r"\s*//", line))
    return count


def timed(command, env, stdout=subprocess.PIPE):
    started = time.perf_counter()
    with open(os.devnull, "rb") as source:
        completed = subprocess.run(command, env=env, stdin=source, stdout=stdout,
                                   stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - started
    if completed.returncode != 0:
        sys.exit("failed: %s\n%s" % (" ".join(command), completed.stderr.decode()))
    return elapsed, completed.stdout


def environment(route):
    env = dict(os.environ)
    if route != "best":
        env["MIRELO_KERNEL"] = route
    return env


def module_run(case_file, route):
    _, output = timed([sys.executable, "-c", ONE_MODULE_CASE, case_file], environment(route))
    return float(output.split()[-1])


def cli_run(mirelo, direction, language, source, route, one_processor):
    command = (["taskset", "-c", "0"] if one_processor else []) + [mirelo, direction, language,
                                                                    source]
    # The output goes to the null device: an encoded text is up to 35 times
    # its input, too much to gather.
    return timed(command, environment(route), subprocess.DEVNULL)[0]


def paired(rounds, with_it, without_it):
    """Gains of `rounds` pairs, each run once with and once without, in turn."""
    with_it(), without_it()  # files into the page cache, tables built
    gains = []
    for _ in range(rounds):
        gains.append(without_it() / with_it())
    return gains


def report(name, lines, case, gains):
    print("%-31s %5d  %-28s  %5.2fx  (%.2f to %.2f)" % (
        name, lines, case, statistics.median(gains), min(gains), max(gains)), flush=True)


def module_cases(work, languages):
    """A pickled (text, alphabet) per size and language, for the child processes."""
    files = {}
    for size_name, size in SIZES.items():
        text = chat_text(size)
        for language in languages:
            encoding, decoding = LANGUAGES[language]
            path = os.path.join(work, "%s-%s.pickle" % (language, size_name))
            with open(path, "wb") as out:
                pickle.dump((plain_translation.encode(text, *encoding),) + tuple(decoding), out)
            files[(size_name, language)] = path
    return files


def cli_inputs(work, mirelo, size, languages):
    plain = os.path.join(work, "plain.txt")
    write_input(plain, size)
    encoded = {"plain": plain}
    for language in languages:
        encoded[language] = os.path.join(work, language + ".txt")
        with open(plain, "rb") as source, open(encoded[language], "wb") as out:
            subprocess.run([mirelo, "encode", language], stdin=source, stdout=out, check=True)
    settle()
    return encoded


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=5, help="pairs per case (default 5)")
    parser.add_argument("--size", default="100M", help="bytes of text for the command line")
    parser.add_argument("--dir", default=None, help="folder for the inputs")
    parser.add_argument("--only", default=None, help="measure only the reader of this name")
    args = parser.parse_args()
    mirelo = mirelo_path(None)
    readers = [reader for reader in READERS if args.only in (None, reader[0])]
    work = tempfile.mkdtemp(prefix="mirelo-readers-", dir=args.dir)
    try:
        languages = sorted({language for reader in readers for language in reader[3]})
        cases = module_cases(work, languages)
        encoded = cli_inputs(work, mirelo, byte_size(args.size), languages)
        print("%-31s %5s  %-28s  %6s" % ("reader", "lines", "case", "gain"))
        for name, files, direction, languages_of, route, without in readers:
            lines = lines_of_code(files)
            for language in languages_of:
                if direction == "module":
                    for size_name in SIZES:
                        case = cases[(size_name, language)]
                        gains = paired(args.rounds, lambda: module_run(case, route),
                                       lambda: module_run(case, without))
                        report(name, lines, "module %s decode %s" % (language, size_name), gains)
                    continue
                source = encoded["plain" if direction == "encode" else language]
                gains = paired(
                    args.rounds,
                    lambda: cli_run(mirelo, direction, language, source, route, False),
                    lambda: cli_run(mirelo, direction, language, source, without or route,
                                    without is None))
                report(name, lines, "mirelo %s %s %s" % (direction, language, args.size), gains)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
