"""The route through the readers: MIRELO_KERNEL forces one for the module and
the command line alike. Every route the processor runs gives the same
results, and a route that is unknown or that the processor cannot run is
refused with a clear message before any work is done."""

import json
import os
import subprocess
import sys

import pytest

from conftest import run_python

MIRELO = os.path.join(os.path.dirname(sys.executable),
                      "mirelo" + (".exe" if os.name == "nt" else ""))
ROUTES = ["plain", "sse2", "ssse3", "avx2"]
LANGUAGES = ["bubble", "pigeon", "cat", "monkey"]
# Chat-like text: CJK and ASCII words, emoji and other characters above U+FFFF.
TEXT = "你好 world！今天😀天气 good 🐒𠀀 ok?\n" * 40 + "ÿ\u3000\U0010FFFF"


def run(route, args, data):
    env = dict(os.environ, MIRELO_KERNEL=route)
    return subprocess.run([MIRELO] + args, input=data, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, env=env, timeout=60)


def routes_here():
    return [route for route in ROUTES if run(route, ["--version"], b"").returncode == 0]


def test_plain_runs_everywhere_and_best_is_one_of_the_routes():
    here = routes_here()
    assert "plain" in here
    # Each route includes the ones before it.
    assert here == ROUTES[:len(here)]
    assert run("best", ["--version"], b"").returncode == 0
    assert run("", ["--version"], b"").returncode == 0


@pytest.mark.parametrize("language", LANGUAGES)
def test_every_route_translates_alike(language):
    data = TEXT.encode("utf-8")
    encoded = run("plain", ["encode", language], data)
    assert encoded.returncode == 0
    for route in routes_here():
        assert run(route, ["encode", language], data).stdout == encoded.stdout, route
        decoded = run(route, ["decode", language], encoded.stdout)
        assert (decoded.returncode, decoded.stdout) == (0, data), route
        # A foreign word deep in the text is named at its first character.
        spoiled = encoded.stdout + " hello".encode("utf-8")
        failed = run(route, ["decode", language], spoiled)
        offset = len(encoded.stdout.decode("utf-8")) + 1
        assert failed.returncode == 1
        assert ("the group at character offset %d is not a number" % offset
                in failed.stderr.decode("utf-8")), route


@pytest.mark.parametrize("value, reason", [
    ("avx512", "unknown route (choose plain, sse2, ssse3, avx2 or best)"),
    ("PLAIN", "unknown route"), ("plain ", "unknown route")])
def test_unknown_routes_are_refused_before_any_work(value, reason):
    completed = run(value, ["encode", "cat"], b"Hi")
    assert completed.returncode == 2
    assert completed.stdout == b""
    assert completed.stderr.decode("utf-8").startswith("mirelo: MIRELO_KERNEL=%s: %s" % (value,
                                                                                        reason))


def test_routes_this_processor_cannot_run_are_refused():
    missing = [route for route in ROUTES if route not in routes_here()]
    if not missing:
        pytest.skip("this processor runs every route")
    completed = run(missing[0], ["encode", "cat"], b"Hi")
    assert completed.returncode == 2
    assert "this processor cannot run the %s route" % missing[0] in completed.stderr.decode()


MODULE_CHILD = """
import json, tkinter
tkinter.Tk.mainloop = lambda self, n=0: None
try:
    import Mirelo_2_5 as m
except Exception as error:
    print(json.dumps(["error", type(error).__name__, str(error), tkinter._default_root is None]))
else:
    m.run_icon = lambda icon, number: None
    cat = (["喵喵喵！", "喵喵？", "喵", ","], [2, 0, 1, "喵呜~ "])
    back = (["喵呜~", "喵喵喵！", "喵喵？", "喵"], ["", 2, 0, 1])
    encoded = m.Translation_smooth(%r, *cat, None, 4)
    print(json.dumps(["ok", encoded, m.Translation_disobey(encoded, *back, None, 4)]))
"""


def test_the_module_takes_the_route_and_refuses_unknown_ones(tmp_path):
    results = {}
    for route in routes_here() + ["sse4"]:
        completed = run_python(MODULE_CHILD % TEXT, env={"MIRELO_KERNEL": route},
                               tmp_path=tmp_path)
        assert completed.returncode == 0, completed.stderr
        results[route] = json.loads(completed.stdout.strip().splitlines()[-1])
    assert results.pop("sse4") == [
        "error", "ImportError",
        "MIRELO_KERNEL=sse4: unknown route (choose plain, sse2, ssse3, avx2 or best)", True]
    assert all(result == results["plain"] for result in results.values())
    assert results["plain"][2] == TEXT
