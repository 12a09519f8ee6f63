"""Starting the program as a user does, and closing it as a window manager
does."""

import os
import subprocess
import sys
import time
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parent.parent


def wait_for(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


def window_manager_running():
    return subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          universal_newlines=True).stdout.count("window id") > 0


@pytest.fixture(scope="module")
def window_manager(display):
    manager = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        wait_for(window_manager_running, 10, "openbox")
        yield
    finally:
        manager.terminate()
        manager.wait(timeout=10)


def quenzari_windows():
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Quenzari  "],
                           stdout=subprocess.PIPE, universal_newlines=True).stdout
    return set(found.split())


def test_user_starts_and_closes_the_program(window_manager, tmp_path):
    runtime = tmp_path / "runtime"
    runtime.mkdir(mode=0o700)
    folder = runtime / "Quenzariv2.2"
    env = dict(os.environ, XDG_RUNTIME_DIR=str(runtime))
    before = quenzari_windows()
    with open(str(tmp_path / "out.txt"), "wb") as out, open(str(tmp_path / "err.txt"), "wb") as err:
        program = subprocess.Popen([sys.executable, "-c", "import Mirelo_2_5"], env=env,
                                   cwd=str(tmp_path), stdin=subprocess.DEVNULL, stdout=out,
                                   stderr=err)
    try:
        window = wait_for(lambda: quenzari_windows() - before, 20, "the window").pop()
        assert sorted(os.listdir(str(folder))) == ["1.ico"]
        subprocess.run(["xdotool", "windowactivate", "--sync", window], check=True)
        subprocess.run(["xdotool", "key", "--clearmodifiers", "alt+F4"], check=True)
        status = program.wait(timeout=20)
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
    errors = (tmp_path / "err.txt").read_text()
    assert status == 0, errors
    assert errors == ""
    assert not folder.exists()
    assert window not in quenzari_windows()


def test_start_script_without_a_display_says_so_in_one_line(tmp_path):
    env = {key: value for key, value in os.environ.items() if key != "DISPLAY"}
    completed = subprocess.run(["bash", str(ROOT / "tools" / "start.sh")], env=env,
                               cwd=str(tmp_path), stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               universal_newlines=True, timeout=60)
    assert completed.returncode != 0
    assert completed.stdout == ""
    lines = completed.stderr.splitlines()
    assert len(lines) == 1 and "display" in lines[0].lower()
    assert "Traceback" not in completed.stderr
