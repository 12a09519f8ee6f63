"""Checks the window of an installed Mirelo on private Xvfb screens, run by
the interpreter it was installed for: the module imported with a main loop
that returns at once, then mirelo-window and python -m mirelo started as a
user starts them and closed with Alt+F4 under a window manager."""

import os
import subprocess
import sys
import sysconfig
import tempfile
import time

from headless_module import import_without_main_loop
from virtual_display import start_xvfb

TITLE = "^Quenzari  "


class Failure(Exception):
    pass


def wait_for(what, probe, timeout):
    deadline = time.monotonic() + timeout
    while True:
        found = probe()
        if found:
            return found
        if time.monotonic() > deadline:
            raise Failure("gave up waiting for " + what)
        time.sleep(0.1)


def output(*command):
    return subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=20).stdout.decode()


def inside(path, folder):
    return os.path.realpath(path).startswith(os.path.realpath(folder) + os.sep)


def check_import():
    """The installed module and its icons, not those of a source tree."""
    module = import_without_main_loop()
    import def_icon
    try:
        for imported in (module, def_icon):
            if not inside(imported.__file__, sys.prefix):
                raise Failure("%s comes from %s" % (imported.__name__, imported.__file__))
        if not module.app.title().startswith("Quenzari  "):
            raise Failure("window title " + repr(module.app.title()))
    finally:
        module.app.destroy()


def close(program, window):
    """Alt+F4 until the program ends: on a busy machine the first press can
    come before the window manager has taken the window over."""
    for _ in range(4):
        output("xdotool", "windowactivate", "--sync", window)
        output("xdotool", "key", "--clearmodifiers", "alt+F4")
        try:
            return program.wait(timeout=5)
        except subprocess.TimeoutExpired:
            pass
    raise Failure("the window did not close with Alt+F4")


def start_and_close(command, folder):
    with open(os.path.join(folder, "err.txt"), "w+b") as err:
        program = subprocess.Popen(command, cwd=folder, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=err)
        try:
            [window] = wait_for("the window of " + " ".join(command), lambda: output(
                "xdotool", "search", "--onlyvisible", "--name", TITLE).split(), 30)
            status = close(program, window)
        finally:
            if program.poll() is None:
                program.kill()
                program.wait()
        err.seek(0)
        errors = err.read().decode("utf-8", "replace")
    if status != 0 or errors:
        raise Failure("%s: exit status %d: %s" % (" ".join(command), status, errors))


def check_starts(folder):
    manager = subprocess.Popen(["openbox"], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_for("the window manager", lambda: "window id" in output(
            "xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), 60)
        scripts = sysconfig.get_path("scripts")
        start_and_close([os.path.join(scripts, "mirelo-window")], folder)
        start_and_close([sys.executable, "-m", "mirelo"], folder)
    finally:
        manager.terminate()
        manager.wait(timeout=10)


def main():
    folder = tempfile.mkdtemp(prefix="mirelo-window-check-")
    runtime = os.path.join(folder, "runtime")
    os.mkdir(runtime, 0o700)
    os.environ["XDG_RUNTIME_DIR"] = runtime
    os.chdir(folder)
    try:
        # Each on a screen of its own: the imported window may outlive its
        # destroy() on the screen until this process ends.
        for check in (check_import, lambda: check_starts(folder)):
            xvfb, display = start_xvfb()
            os.environ["DISPLAY"] = display
            try:
                check()
            finally:
                xvfb.terminate()
                xvfb.wait(timeout=10)
    except (Failure, OSError, subprocess.TimeoutExpired) as error:
        sys.exit("window check: %s" % error)
    print("window: the module imported, mirelo-window and python -m mirelo opened and closed")


if __name__ == "__main__":
    main()
