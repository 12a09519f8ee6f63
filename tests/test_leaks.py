"""No memory stays behind: tools/leak_check.py calls every module function
some hundred thousand times in all, on valid and failing inputs, and
measures Python objects, resident size and argument reference counts after
a warm-up. The harness itself is checked on calls that do leak."""

import json
import os
from pathlib import Path

import pytest

from conftest import run_python

TOOLS = Path(__file__).resolve().parent.parent / "tools"
CALLS = 15000

pytestmark = pytest.mark.skipif(not os.path.exists("/proc/self/statm"),
                                reason="resident size read from /proc")


def reports(output):
    return [json.loads(line) for line in output.splitlines() if line.startswith("{")]


@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="the address sanitizer holds freed memory back: resident size grows")
def test_no_function_leaks_on_any_path(tmp_path):
    code = ("import runpy, sys; sys.argv = ['leak_check', '%d']; "
            "runpy.run_path(%r, run_name='__main__')" % (CALLS, str(TOOLS / "leak_check.py")))
    completed = run_python(code, timeout=900, tmp_path=tmp_path)
    cases = reports(completed.stdout)
    summary = cases.pop()
    assert completed.returncode == 0, "\n".join(
        json.dumps(case, ensure_ascii=False) for case in cases if case["case"] in summary["grew"])
    names = {case["case"].split()[0] for case in cases}
    assert names == {"changeover", "encode", "decode", "do_return", "do", "translation_paste",
                     "make_icon", "run_icon", "del_file"}
    assert summary["total_calls"] >= 300000


def test_harness_sees_python_native_and_reference_leaks(tmp_path):
    completed = run_python("""
import ctypes, json, sys, tracemalloc
sys.path.insert(0, %r)
from leak_check import measure, PYTHON_MARGIN, RESIDENT_MARGIN
tracemalloc.start()
kept, shared = [], object()
libc = ctypes.CDLL(None)
libc.malloc.restype = ctypes.c_void_p
def native():
    libc.memset(ctypes.c_void_p(libc.malloc(64)), 1, 64)
print(json.dumps([measure(lambda: kept.append(object()), [], 15000)["python"] > PYTHON_MARGIN,
                  measure(native, [], 15000)["resident"] > RESIDENT_MARGIN,
                  measure(lambda: kept.append(shared), [shared], 15000)["references"] != [0],
                  measure(lambda: [object()], [shared], 15000)["python"] < PYTHON_MARGIN]))
""" % str(TOOLS), timeout=300, tmp_path=tmp_path)
    assert completed.returncode == 0, completed.stderr
    assert json.loads(completed.stdout.strip().splitlines()[-1]) == [True, True, True, True]
