"""Measures the mirelo command on a large input, for the four languages:
encoding the text and decoding its encoded form, each against `cat` moving
the encoded text (the larger side) and against the plain-Python algorithm.
Prints one line per language and direction, and the ratios.

Run from the repository root; MIRELO_KERNEL picks the route:

    python -m bench.bench_cli [--size 100M] [--plain-slice 1M] [--repeats 3] [--dir DIR]

The input repeats a block of 4 MB of chat-like text (bench/chat_text.py:
CJK and ASCII words, emoji and other characters above U+FFFF). The plain-Python algorithm would take minutes on the whole
input: it is timed on a slice and scaled linearly, as the output says. Files
go to DIR (the system's temporary folder by default); the encoded texts are
up to about 35 times the input, so DIR needs room for that, and the timings
of `cat` are only meaningful while the file fits in the page cache.
"""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

from bench.bench_translation import LANGUAGES
from bench.chat_text import chat_text
from tests import plain_translation

BLOCK = 4 << 20
UNITS = {"K": 1 << 10, "M": 1 << 20, "G": 1 << 30}


def byte_size(text):
    text = text.strip().upper()
    if text and text[-1] in UNITS:
        return int(float(text[:-1]) * UNITS[text[-1]])
    return int(text)


def mirelo_path(given):
    if given:
        return given
    suffix = ".exe" if os.name == "nt" else ""
    found = os.path.join(os.path.dirname(sys.executable), "mirelo" + suffix)
    return found if os.path.isfile(found) else shutil.which("mirelo")


def write_input(path, size):
    block = chat_text(BLOCK // 2).encode("utf-8")
    block = block[:block.rfind(b"\n") + 1]
    with open(path, "wb") as out:
        written = 0
        while written < size:
            # Whole characters only: cut the last block at a line break.
            part = block if written + len(block) <= size else block[:block.rfind(b"\n", 0, size - written) + 1]
            if not part:
                break
            out.write(part)
            written += len(part)
    return written


def settle():
    """Writes what the files hold to disk first, so that the writing back of
    gigabytes does not compete with the runs being timed."""
    if hasattr(os, "sync"):
        os.sync()


def best_wall_time(command, stdin_path, repeats):
    best = None
    for _ in range(repeats):
        with open(stdin_path, "rb") as source:
            started = time.perf_counter()
            completed = subprocess.run(command, stdin=source, stdout=subprocess.DEVNULL)
            elapsed = time.perf_counter() - started
        if completed.returncode != 0:
            raise SystemExit("failed: %s" % " ".join(command))
        best = elapsed if best is None else min(best, elapsed)
    return best


def output_digest(command, stdin_path, destination=None):
    """SHA-256 of the command's output, optionally also written to a file."""
    digest = hashlib.sha256()
    target = open(destination, "wb") if destination else None
    try:
        with open(stdin_path, "rb") as source:
            process = subprocess.Popen(command, stdin=source, stdout=subprocess.PIPE)
            for data in iter(lambda: process.stdout.read(1 << 20), b""):
                digest.update(data)
                if target:
                    target.write(data)
            if process.wait() != 0:
                raise SystemExit("failed: %s" % " ".join(command))
    finally:
        if target:
            target.close()
    return digest.hexdigest()


def file_digest(path):
    digest = hashlib.sha256()
    with open(path, "rb") as source:
        for data in iter(lambda: source.read(1 << 20), b""):
            digest.update(data)
    return digest.hexdigest()


def plain_seconds_per_byte(text, encode_alphabet, decode_alphabet, repeats):
    """Seconds per input byte of the plain algorithm, best of `repeats`, for
    encoding the text and for decoding its encoded form (per byte of that
    form)."""
    encode_time = decode_time = float("inf")
    for _ in range(repeats):
        started = time.perf_counter()
        encoded = plain_translation.encode(text, *encode_alphabet)
        encode_time = min(encode_time, time.perf_counter() - started)
        started = time.perf_counter()
        decoded = plain_translation.decode(encoded, *decode_alphabet)
        decode_time = min(decode_time, time.perf_counter() - started)
        if decoded != text:
            raise SystemExit("the plain algorithm does not give the text back")
    return (encode_time / len(text.encode("utf-8")),
            decode_time / len(encoded.encode("utf-8")))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", default="100M", help="bytes of plain input (default 100M)")
    parser.add_argument("--plain-slice", default="1M",
                        help="bytes of input the plain algorithm is timed on (default 1M)")
    parser.add_argument("--repeats", type=int, default=3, help="runs per timing; the best counts")
    parser.add_argument("--dir", default=None, help="folder for the input and encoded files")
    parser.add_argument("--mirelo", default=None, help="the program (default: next to Python)")
    parser.add_argument("--languages", default=",".join(LANGUAGES))
    args = parser.parse_args()

    mirelo = mirelo_path(args.mirelo)
    cat = shutil.which("cat")
    if not mirelo or not cat:
        raise SystemExit("needs the mirelo program and cat")
    work = tempfile.mkdtemp(prefix="mirelo-bench-", dir=args.dir)
    try:
        plain_path = os.path.join(work, "plain.txt")
        size = write_input(plain_path, byte_size(args.size))
        plain_hash = file_digest(plain_path)
        with open(plain_path, "rb") as source:
            piece = source.read(byte_size(args.plain_slice))
        slice_text = piece[:piece.rfind(b"\n") + 1].decode("utf-8")
        print("input: %.1f MB of chat-like text (a block of about %d MB repeated); plain Python "
              "timed on %.2f MB and scaled linearly; best of %d runs; output to the null device"
              % (size / 1e6, BLOCK >> 20, len(slice_text.encode("utf-8")) / 1e6, args.repeats))
        print("%-7s %-6s %10s %10s %11s %9s %12s %9s" % (
            "lang", "dir", "mirelo s", "MB/s in", "cat s", "x cat", "plain s", "plain/x"))
        worst_cat = {"encode": 0.0, "decode": 0.0}
        least_plain = {"encode": float("inf"), "decode": float("inf")}
        for name in args.languages.split(","):
            encode_alphabet, decode_alphabet = LANGUAGES[name]
            encoded_path = os.path.join(work, "encoded.txt")
            output_digest([mirelo, "encode", name], plain_path, encoded_path)
            settle()
            encoded_size = os.path.getsize(encoded_path)
            if output_digest([mirelo, "decode", name], encoded_path) != plain_hash:
                raise SystemExit("MISMATCH: %s does not decode back to the input" % name)
            best_wall_time([cat], encoded_path, 1)  # into the page cache
            cat_time = best_wall_time([cat], encoded_path, args.repeats)
            plain_encode, plain_decode = plain_seconds_per_byte(
                slice_text, encode_alphabet, decode_alphabet, args.repeats)
            cases = (("encode", plain_path, size, plain_encode * size),
                     ("decode", encoded_path, encoded_size, plain_decode * encoded_size))
            for direction, source, source_size, plain_time in cases:
                elapsed = best_wall_time([mirelo, direction, name], source, args.repeats)
                to_cat, to_plain = elapsed / cat_time, plain_time / elapsed
                worst_cat[direction] = max(worst_cat[direction], to_cat)
                least_plain[direction] = min(least_plain[direction], to_plain)
                print("%-7s %-6s %10.3f %10.1f %5.3f/%-4.1fG %9.2f %12.1f %9.1f" % (
                    name, direction, elapsed, source_size / elapsed / 1e6, cat_time,
                    encoded_size / 1e9, to_cat, plain_time, to_plain), flush=True)
            os.remove(encoded_path)
        print("summary: encoding takes at most %.2f and decoding at most %.2f times as long as cat "
              "moving the encoded text (target 5 or less); encoding is at least %.0f and decoding "
              "at least %.0f times as fast as plain Python (target more than 50)" % (
                  worst_cat["encode"], worst_cat["decode"], least_plain["encode"],
                  least_plain["decode"]))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
