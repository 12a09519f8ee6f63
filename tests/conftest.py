"""Shared fixtures: a private Xvfb display, an isolated temporary folder and
the live module, imported with its main loop and message boxes replaced so
that tests can drive the real widgets."""

import os
import subprocess
import sys
import tempfile

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from headless_module import import_without_main_loop  # noqa: E402
from virtual_display import start_xvfb  # noqa: E402

from private_screen import Screen  # noqa: E402


@pytest.fixture(scope="session", autouse=True)
def display():
    """Every test runs against a private virtual screen and a private
    runtime folder, so that nothing touches the user's session."""
    process, name = start_xvfb()
    runtime = tempfile.mkdtemp(prefix="mirelo-runtime-")
    os.chmod(runtime, 0o700)
    saved = {key: os.environ.get(key) for key in ("DISPLAY", "XDG_RUNTIME_DIR")}
    os.environ["DISPLAY"] = name
    os.environ["XDG_RUNTIME_DIR"] = runtime
    yield name
    for key, value in saved.items():
        if value is None:
            os.environ.pop(key, None)
        else:
            os.environ[key] = value
    process.terminate()
    process.wait(timeout=10)


@pytest.fixture(scope="session")
def live_module(display):
    """The module, imported once with a main loop that returns at once: the
    start-up completes and the window stays alive for the tests to drive."""
    module = import_without_main_loop()
    yield module
    module.app.destroy()


@pytest.fixture
def screen():
    """A fresh screen with openbox running on it, for one test."""
    xvfb, name = start_xvfb()
    screen = Screen(name)
    manager = subprocess.Popen(["openbox"], env=screen.env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        # openbox once took over 15 s to start while the shared machine was busy.
        screen.wait_for("the window manager", lambda: "window id" in screen.run(
            "xprop", "-root", "_NET_SUPPORTING_WM_CHECK")[1], timeout=60.0)
        yield screen
    finally:
        manager.terminate()
        manager.wait(timeout=10)
        xvfb.terminate()
        xvfb.wait(timeout=10)


class BoxRecorder:
    """Stands in for a message box: keeps title and message of every call."""

    def __init__(self):
        self.calls = []

    def __call__(self, title, message):
        self.calls.append((title, message))
        return "ok"


@pytest.fixture
def mirelo(live_module):
    """The live module with its namespace and widgets restored after the
    test, and with recorders in place of the modal message boxes."""
    saved = dict(live_module.__dict__)
    choice = live_module.depot.get()
    live_module.showinfo = BoxRecorder()
    live_module.showerror = BoxRecorder()
    yield live_module
    live_module.__dict__.clear()
    live_module.__dict__.update(saved)
    live_module.depot.set(choice)
    live_module.problem.delete("1.0", "end")
    live_module.out.delete(0, "end")
    live_module.app.update()


@pytest.fixture
def restored_window(mirelo):
    """The live module; the direction, the input box and the result field
    are put back as they were found after the test."""
    depot, problem, out = mirelo.depot, mirelo.problem, mirelo.out
    before = (depot.get(), problem.get("1.0", "end-1c"), out.get())
    yield mirelo
    depot.set(before[0])
    problem.delete("1.0", "end")
    problem.insert("1.0", before[1])
    out.delete(0, "end")
    out.insert(0, before[2])


@pytest.fixture
def folder(mirelo, tmp_path):
    """program_temp pointed at a fresh, not yet existing folder."""
    path = tmp_path / "Quenzariv2.2"
    mirelo.program_temp = str(path)
    return path


def leftovers(path):
    """The names in the folder, or none when it is not a folder."""
    return sorted(os.listdir(path)) if os.path.isdir(path) else []


def run_python(code, env=None, timeout=60, cwd=None, tmp_path=None):
    """Run `code` in a fresh interpreter on the test display. Output goes to
    files: a clipboard helper left running must not hold a pipe open."""
    out_dir = tmp_path or tempfile.mkdtemp(prefix="mirelo-run-")
    stdout_path = os.path.join(str(out_dir), "stdout.txt")
    stderr_path = os.path.join(str(out_dir), "stderr.txt")
    full_env = dict(os.environ)
    full_env.update(env or {})
    with open(stdout_path, "wb") as stdout, open(stderr_path, "wb") as stderr:
        completed = subprocess.run(
            [sys.executable, "-c", code], env=full_env, cwd=cwd,
            stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr, timeout=timeout,
        )
    with open(stdout_path, encoding="utf-8", errors="replace") as stdout:
        completed.stdout = stdout.read()
    with open(stderr_path, encoding="utf-8", errors="replace") as stderr:
        completed.stderr = stderr.read()
    return completed
