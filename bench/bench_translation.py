"""Measures the module's encoder and decoder against the plain-Python
algorithm on the same realistic input (chat-like text, bench/chat_text.py),
for the four languages, both directions and the sizes asked for. Prints one
line per case, with the module's best and median call, the plain version's
best, their ratio and the module's peak memory against the size of its
result; then the least ratios and the most memory.

Run from the repository root; MIRELO_KERNEL picks the route, as for the
module itself:

    python -m bench.bench_translation [--sizes 1K,1M]
"""

import argparse
import ctypes
import gc
import statistics
import sys
import time

from bench import live_module
from bench.chat_text import chat_text
from tests import plain_translation

LANGUAGES = {
    "bubble": ((["O", "o", "0"], [1, 0, " "]), (["0", "O", "o"], [" ", 1, 0])),
    "pigeon": ((["哩", "鸽", "咕", " "], [2, 1, 0, " "]), (["哩", "鸽", "咕", " "], [2, 1, 0, " "])),
    "cat": ((["喵喵喵！", "喵喵？", "喵", ","], [2, 0, 1, "喵呜~ "]),
            (["喵呜~", "喵喵喵！", "喵喵？", "喵"], ["", 2, 0, 1])),
    "monkey": ((["吱吱", "唧唧", " "], [1, 0, " "]), (["吱吱", "唧唧", " "], [1, 0, " "])),
}
SIZES = {"1K": 1 << 10, "1M": 1 << 20}
SECONDS = 1.0  # spent on each side of a case, so that both see the machine's busy moments


def release_free_memory():
    gc.collect()
    try:
        ctypes.CDLL("libc.so.6").malloc_trim(0)
    except (OSError, AttributeError):
        pass


def resident_kib(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise RuntimeError(field + " not found")


def measure(function):
    """The result, the best and the median call of calls that together take
    SECONDS (three at least), and the peak resident growth of the first."""
    release_free_memory()
    with open("/proc/self/clear_refs", "w") as clear:
        clear.write("5")
    before = resident_kib("VmRSS")
    started = time.perf_counter()
    result = function()
    times = [time.perf_counter() - started]
    peak = (resident_kib("VmHWM") - before) * 1024
    while sum(times) < SECONDS or len(times) < 3:
        started = time.perf_counter()
        function()
        times.append(time.perf_counter() - started)
    return result, min(times), statistics.median(times), peak


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", default="1K,1M", help="of the plain text: 1K, 1M or both")
    args = parser.parse_args()
    module = live_module.load()
    ratios, peaks = {}, []
    print("%-22s %10s %12s %12s %12s %9s %8s" % (
        "case", "chars in", "module s", "median s", "plain s", "ratio", "memory"))
    for size_name in args.sizes.split(","):
        text = chat_text(SIZES[size_name])
        for name, (encoding, decoding) in LANGUAGES.items():
            encoded = plain_translation.encode(text, *encoding)
            cases = (("encode", text, module.Translation_smooth, plain_translation.encode,
                      encoding),
                     ("decode", encoded, module.Translation_disobey, plain_translation.decode,
                      decoding))
            for direction, source, function, plain, (values, numbers) in cases:
                result, best, median, peak = measure(
                    lambda: function(source, values, numbers, None, 0))
                expected, plain_best, _, _ = measure(lambda: plain(source, values, numbers))
                if expected != result:
                    sys.exit("MISMATCH in %s %s %s" % (size_name, name, direction))
                ratio = plain_best / best
                ratios.setdefault((size_name, direction), []).append(ratio)
                memory = peak / sys.getsizeof(result)
                # A small call's peak is mostly the tables built on first use.
                if SIZES[size_name] >= SIZES["1M"]:
                    peaks.append(memory)
                print("%-22s %10d %12.6f %12.6f %12.6f %9.1f %7.2fx" % (
                    "%s %s %s" % (size_name, name, direction), len(source), best, median,
                    plain_best, ratio, memory), flush=True)
    print("summary: faster than plain Python: %s; peak memory at most %s the result (1M)" % (
        "; ".join("%s %s at least %.1fx" % (size, direction, min(found))
                  for (size, direction), found in ratios.items()),
        "%.2f times" % max(peaks) if peaks else "not measured:"))


if __name__ == "__main__":
    main()
