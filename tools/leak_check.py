"""Calls every module function many times on valid and on failing inputs and
reports, per case, how much memory stayed behind after a warm-up: Python
objects (tracemalloc), the process's resident size (/proc/self/statm) and
the reference counts of the arguments. Prints one JSON line per case, then
a summary line; exits 1 when a case grew beyond the margins.

Usage: python tools/leak_check.py [CALLS]   (default 30000 per case)
Needs a display (DISPLAY); the main loop is skipped and nothing is shown."""

import base64
import gc
import json
import os
import shutil
import sys
import tempfile
import time
import tracemalloc

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from headless_module import import_without_main_loop  # noqa: E402

# Margins for one case of CALLS calls after the warm-up (the resident size:
# for a third of them): a leak of one small object or buffer per call stays
# well above them.
PYTHON_MARGIN = 32 * 1024
RESIDENT_MARGIN = 128 * 1024
PAGE = os.sysconf("SC_PAGE_SIZE")


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE


def load_module():
    return import_without_main_loop()


def swallow(function, *args):
    def call():
        try:
            function(*args)
        except Exception:
            pass
    return call


class Clipboard:
    def __init__(self):
        self.text = "Hi"

    def copy(self, text):
        self.text = text

    def paste(self):
        return self.text


def quiet_icon(num_icon, number):
    return None


def cases(m, scratch):
    """(name, call, arguments whose reference counts must not move, calls)."""
    cat = (["喵喵喵！", "喵喵？", "喵", ","], [2, 0, 1, "喵呜~ "])
    cat_back = (["喵呜~", "喵喵喵！", "喵喵？", "喵"], ["", 2, 0, 1])
    text = "Hé漢😀\ud800 \0"
    real_run_icon = m.run_icon
    m.run_icon = quiet_icon
    encoded = m.Translation_smooth(text, *cat, "", 4)
    bad_values = ["喵", "喵喵？"]
    odd_values = ["O", 1, "0"]
    big = 1114111
    icon = m.gezi
    folder = os.path.join(scratch, "icons")
    m.program_temp = folder
    m.showerror = m.showinfo = lambda title, message: None
    board = Clipboard()
    m.copy, m.paste = board.copy, board.paste

    def failing_icon(num_icon, number):
        raise OSError("no icon")

    doomed = os.path.join(scratch, "doomed")

    def fresh_folder():
        os.mkdir(doomed)
        open(os.path.join(doomed, "1.ico"), "wb").close()
        m.del_file(doomed)

    def with_failing_icon(call):
        def run():
            m.run_icon = failing_icon
            try:
                call()
            finally:
                m.run_icon = quiet_icon
        return run

    def request(label, imput):
        def run():
            m.depot.set(label)
            m.do_return(imput)
        return run

    def button(label, function):
        def run():
            m.depot.set(label)
            function()
        return run

    yield "changeover", swallow(m.changeover, big, 3), [big], 1
    yield "changeover base 1", swallow(m.changeover, big, 1), [big], 1
    yield "changeover wrong type", swallow(m.changeover, text, 2), [text], 1
    yield "changeover zero base", swallow(m.changeover, big, 0), [big], 1
    yield "changeover keywords", swallow(lambda: m.changeover(num=big, base=2)), [big], 1
    yield "encode", swallow(m.Translation_smooth, text, *cat, icon, 4), [text, icon], 1
    yield "encode short values", swallow(m.Translation_smooth, text, bad_values, cat[1], icon,
                                         4), [text, bad_values], 1
    yield "encode odd values", swallow(m.Translation_smooth, text, odd_values, [1, 0, " "],
                                       icon, 2), [odd_values], 1
    yield "encode icon fails", with_failing_icon(
        swallow(m.Translation_smooth, text, *cat, icon, 4)), [text, icon], 1
    yield "decode", swallow(m.Translation_disobey, encoded, *cat_back, icon, 4), [encoded], 1
    yield "decode not the language", swallow(m.Translation_disobey, encoded + "x", *cat_back,
                                             icon, 4), [icon], 1
    yield "decode group too large", swallow(m.Translation_disobey, "喵喵？" * 40, *cat_back,
                                            icon, 4), [icon], 1
    yield "decode icon fails", with_failing_icon(
        swallow(m.Translation_disobey, encoded, *cat_back, icon, 4)), [encoded], 1
    yield "do_return encode", request("人语→猫语", text), [text], 1
    yield "do_return decode", request("猫语→人语", encoded), [encoded], 1
    yield "do_return no choice", request("无", text), [text], 1
    yield "do_return failure", request("猫语→人语", text), [text], 1
    yield "do_return wrong count", swallow(m.do_return, text, text), [text], 1
    yield "do", button("人语→猴语", m.do), [], 1
    yield "do failure", button("猴语→人语", m.do), [], 1
    yield "translation_paste", button("人语→鸽语", m.translation_paste), [], 1
    yield "translation_paste failure", button("鸽语→人语", m.translation_paste), [], 1
    yield "do wrong count", swallow(m.do, text), [text], 1
    m.run_icon = quiet_icon
    os.makedirs(folder, mode=0o700, exist_ok=True)
    yield "make_icon present", swallow(m.make_icon, icon, 3), [icon], 1
    yield "make_icon not base64", swallow(m.make_icon, "not*base64", 9), [], 1
    yield "make_icon wrong count", swallow(m.make_icon, icon), [icon], 1

    def write_anew():
        m.exists = lambda path: path != os.path.join(folder, "3.ico") and os.path.exists(path)
        try:
            m.make_icon(icon, 3)
        finally:
            m.exists = os.path.exists
    yield "make_icon written", write_anew, [icon], 10
    m.run_icon = real_run_icon
    yield "run_icon", swallow(m.run_icon, icon, 3), [icon], 10
    yield "run_icon not an icon", swallow(m.run_icon, base64.b64encode(b"no").decode(), 8), [], 10
    yield "del_file", fresh_folder, [], 10
    yield "del_file missing", swallow(m.del_file, os.path.join(scratch, "none")), [], 1
    yield "del_file wrong type", swallow(m.del_file, None), [], 1


def measure(call, arguments, calls):
    """Growth over `calls` calls after a warm-up. The resident size is taken
    as the smallest growth of three equal windows: a leak grows in each of
    them, while the allocator taking a new arena shows in one only."""
    for _ in range(max(calls // 5, 200)):
        call()
    gc.collect()
    counts = reference_counts(arguments)
    started = time.perf_counter()
    python_before = tracemalloc.get_traced_memory()[0]
    windows = []
    for _ in range(3):
        resident_before = resident_bytes()
        for _ in range(calls // 3):
            call()
        gc.collect()
        windows.append(resident_bytes() - resident_before)
    return {
        "python": tracemalloc.get_traced_memory()[0] - python_before,
        "resident": min(windows),
        "references": [after - before for after, before in
                       zip(reference_counts(arguments), counts)],
        "seconds": round(time.perf_counter() - started, 2),
    }


def reference_counts(objects):
    return [sys.getrefcount(item) for item in objects]


def main():
    calls = int(sys.argv[1]) if len(sys.argv) > 1 else 30000
    scratch = tempfile.mkdtemp(prefix="mirelo-leaks-")
    m = load_module()
    tracemalloc.start()
    total, failed = 0, []
    try:
        for name, call, arguments, divisor in cases(m, scratch):
            count = max(calls // divisor, 100)
            report = measure(call, arguments, count)
            report.update(case=name, calls=count)
            total += count
            grew = (report["python"] > PYTHON_MARGIN or report["resident"] > RESIDENT_MARGIN
                    or any(report["references"]))
            if grew:
                failed.append(name)
            print(json.dumps(report, ensure_ascii=False), flush=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print(json.dumps({"total_calls": total, "grew": failed}, ensure_ascii=False))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
