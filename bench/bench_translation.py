"""Measures the module's encoder and decoder against the plain-Python
algorithm on the same input, for the four languages, both directions and
three input sizes. Prints one line per case and a summary.

Each line also splits the module's processor time per call into user and
system mode: large results live in pages the kernel must first map and
clear, which shows as system time however fast the module's own loop is.
It also gives the median call besides the best: small cases make hundreds
of calls and large ones a few dozen, so the best of a small case is more
often a call that a busy moment of a shared machine happened to spare.
The module's calls for the sizes of one language and direction are made in
turn, each turn about as long for every size, so that a busy stretch of a
shared machine falls on all sizes alike and the time per character compares
sizes, not moments.

    python bench/bench_translation.py [--sizes 1K,1M,16M] [--no-plain-above 16M]
"""

import argparse
import ctypes
import functools
import gc
import os
import random
import statistics
import sys
import time

from bench import live_module
from tests import plain_translation

LANGUAGES = {
    "bubble": ((["O", "o", "0"], [1, 0, " "]), (["0", "O", "o"], [" ", 1, 0])),
    "pigeon": ((["哩", "鸽", "咕", " "], [2, 1, 0, " "]), (["哩", "鸽", "咕", " "], [2, 1, 0, " "])),
    "cat": ((["喵喵喵！", "喵喵？", "喵", ","], [2, 0, 1, "喵呜~ "]),
            (["喵呜~", "喵喵喵！", "喵喵？", "喵"], ["", 2, 0, 1])),
    "monkey": ((["吱吱", "唧唧", " "], [1, 0, " "]), (["吱吱", "唧唧", " "], [1, 0, " "])),
}
SIZES = {"1K": 1 << 10, "1M": 1 << 20, "16M": 1 << 24}
MODULE_SECONDS = 2.0  # spent on the module's calls per case, whatever the size
PLAIN_SECONDS = 1.0  # and at least this on the plain version's, so that both see busy moments


def mixed_text(utf8_bytes, seed=2026):
    """About `utf8_bytes` of UTF-8: half CJK, half ASCII, with line breaks."""
    rnd = random.Random(seed)
    cjk = [chr(rnd.randint(0x4E00, 0x9FFF)) for _ in range(3000)]
    ascii_chars = [chr(c) for c in range(32, 127)] + ["\n"]
    chars, size = [], 0
    while size < utf8_bytes:
        if rnd.random() < 0.5:
            chars.append(rnd.choice(cjk))
            size += 3
        else:
            chars.append(rnd.choice(ascii_chars))
            size += 1
    return "".join(chars)


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


def measure(function, least_calls, least_seconds=0.0):
    """Best and median time of at least `least_calls` calls that together
    take at least `least_seconds` (the median of the calls after the first,
    which also builds the tables), the peak resident growth of the first
    call, and the processor time per call in user and in system mode.
    Sampling every size for a similar time keeps a busy moment of a shared
    machine from deciding a small case."""
    release_free_memory()
    with open("/proc/self/clear_refs", "w") as clear:
        clear.write("5")
    before = resident_kib("VmRSS")
    times_before = os.times()
    started = time.perf_counter()
    result = function()
    best = time.perf_counter() - started
    peak = (resident_kib("VmHWM") - before) * 1024
    calls, spent, later = 1, best, []
    while calls < least_calls or spent < least_seconds:
        started = time.perf_counter()
        function()
        elapsed = time.perf_counter() - started
        best = min(best, elapsed)
        later.append(elapsed)
        calls, spent = calls + 1, spent + elapsed
    times_after = os.times()
    user = (times_after.user - times_before.user) / calls
    system = (times_after.system - times_before.system) / calls
    median = statistics.median(later) if later else best
    return result, best, median, peak, user, system


def first_call(function):
    """The result, time and peak resident growth of a first call."""
    release_free_memory()
    with open("/proc/self/clear_refs", "w") as clear:
        clear.write("5")
    before = resident_kib("VmRSS")
    started = time.perf_counter()
    result = function()
    elapsed = time.perf_counter() - started
    return result, elapsed, (resident_kib("VmHWM") - before) * 1024


def measure_in_turn(functions, least_calls, least_seconds):
    """measure() for several functions at once: after each one's first call,
    they are called in turn, each turn as many calls of each as take about
    as long as one call of the slowest, until every one has had at least
    `least_calls` calls and `least_seconds`."""
    firsts = [first_call(function) for function in functions]
    later = [[] for _ in functions]
    spent = [elapsed for _, elapsed, _ in firsts]
    user = [0.0] * len(functions)
    system = [0.0] * len(functions)
    repeats = [1] * len(functions)  # the first turn times one call of each
    while min(spent) < least_seconds or min(len(calls) for calls in later) + 1 < least_calls:
        for k, function in enumerate(functions):
            times_before = os.times()
            for _ in range(repeats[k]):
                started = time.perf_counter()
                function()
                elapsed = time.perf_counter() - started
                later[k].append(elapsed)
                spent[k] += elapsed
            times_after = os.times()
            user[k] += times_after.user - times_before.user
            system[k] += times_after.system - times_before.system
        typical = [statistics.median(calls) for calls in later]
        repeats = [max(1, int(max(typical) / max(call, 1e-9))) for call in typical]
    results = []
    for k, (result, first, peak) in enumerate(firsts):
        calls = len(later[k])
        results.append((result, min([first] + later[k]), statistics.median(later[k]), peak,
                        user[k] / calls, system[k] / calls))
    return results


def report_case(label, module, plain, length, with_plain):
    """Prints a case's line, with the plain version measured now."""
    result, fast_time, fast_median, fast_peak, user, system = module
    size = sys.getsizeof(result)
    line = ("%-26s %9d chars  module %9.4f s  %11.0f chars/s  median call %11.0f chars/s"
            "  peak %6.2f x result  cpu user %9.3f ms  system %9.3f ms" % (
                label, length, fast_time, length / fast_time, length / fast_median,
                fast_peak / size, user * 1e3, system * 1e3))
    ratio = None
    if with_plain:
        expected, plain_time, _, plain_peak, _, _ = measure(
            plain, max(3 if length < (1 << 23) else 1, min(50, (1 << 20) // length)),
            PLAIN_SECONDS)
        if expected != result:
            raise SystemExit("MISMATCH in " + label)
        ratio = plain_time / fast_time
        line += "  plain %9.4f s  peak %6.2f x result  ratio %7.1f" % (
            plain_time, plain_peak / size, ratio)
    print(line, flush=True)
    return fast_time / length, fast_median / length, user / length, ratio, fast_peak / size


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", default="1K,1M,16M")
    parser.add_argument("--no-plain-above", default="16M",
                        help="skip the plain version for sizes above this one")
    args = parser.parse_args()
    module = live_module.load()
    plain_limit = SIZES[args.no_plain_above]
    per_char = {}
    median_per_char = {}
    user_per_char = {}  # sizes whose calls take long enough for the clock's ticks
    ratios = {}  # (size, direction) -> ratios
    peaks = []
    size_names = args.sizes.split(",")
    texts = {size_name: mixed_text(SIZES[size_name]) for size_name in size_names}
    for name, (enc, dec) in LANGUAGES.items():
        encoded = {size_name: plain_translation.encode(texts[size_name], *enc)
                   for size_name in size_names}
        cases = (
            ("encode", texts, module.Translation_smooth, plain_translation.encode, enc),
            ("decode", encoded, module.Translation_disobey, plain_translation.decode, dec),
        )
        for direction, sources, function, reference, (values, numbers) in cases:
            calls = [functools.partial(function, sources[size_name], values, numbers, None, 0)
                     for size_name in size_names]
            measured = measure_in_turn(calls, 10, MODULE_SECONDS)
            for size_name, figures in zip(size_names, measured):
                source = sources[size_name]
                per, median, user, ratio, peak = report_case(
                    "%s %s %s" % (size_name, name, direction), figures,
                    functools.partial(reference, source, values, numbers),
                    len(source), SIZES[size_name] <= plain_limit)
                per_char.setdefault((name, direction), []).append(per)
                median_per_char.setdefault((name, direction), []).append(median)
                if SIZES[size_name] >= SIZES["1M"]:
                    user_per_char.setdefault((name, direction), []).append(user)
                if ratio is not None:
                    ratios.setdefault((size_name, direction), []).append(ratio)
                if SIZES[size_name] >= SIZES["1M"]:
                    peaks.append(peak)
    flatness, worst = max((max(v) / min(v), " ".join(k)) for k, v in per_char.items())
    median_flatness, median_worst = max(
        (max(v) / min(v), " ".join(k)) for k, v in median_per_char.items())
    # One figure per size: a call on 1K is mostly the fixed cost of a call.
    speed = "; ".join("%s %s at least %.1fx" % (size, direction, min(found))
                      for (size, direction), found in ratios.items())
    user_flatness, user_worst = max(
        [(max(v) / min(v), " ".join(k)) for k, v in user_per_char.items() if min(v) > 0]
        or [(1.0, "not measured")])
    print("summary: faster than plain Python: %s; time per character varies at most %.2fx "
          "across sizes (%s), %.2fx in the median call (%s), user-mode processor time per "
          "character at most %.2fx from 1M up (%s); peak memory at most %.2fx the result "
          "(inputs of 1M and more)" % (
              speed or "not measured", flatness, worst, median_flatness, median_worst,
              user_flatness, user_worst, max(peaks or [0])))


if __name__ == "__main__":
    main()
