"""End to end, as a person uses the program: the application runs in its own
process on its own screen with a window manager, and is driven only with
real mouse clicks and key presses; the clipboard is read as another program
reads it."""

import os
import re
import subprocess
import sys
import time

import pytest

from conftest import start_xvfb

TYPED = "Hi"
CAT_HI_WITH_LINE_FEED = ("喵喵喵！喵喵喵！喵喵？喵喵？ 喵喵喵？喵喵喵！喵喵喵！喵喵？"
                         " 喵喵喵？喵")
RESULT_TITLE = "翻译结果(已复制到剪贴板)"
LABELS = ["人语→气泡语", "气泡语→人语", "人语→鸽语", "鸽语→人语",
          "人语→猫语", "猫语→人语", "人语→猴语", "猴语→人语"]
# The window's widgets from top to bottom.
CHOICE, INPUT_BOX, TRANSLATE, TRANSLATE_CLIPBOARD = 1, 3, 4, 5
WIDGET_COUNT = 9


class Screen:
    """A private X screen with a window manager, and the tools a test uses
    to look at it and act on it."""

    def __init__(self, name):
        self.env = dict(os.environ, DISPLAY=name)

    def run(self, *command):
        done = subprocess.run(command, env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=20)
        return done.returncode, done.stdout.decode("utf-8", "replace")

    def wait_for(self, what, probe, timeout=15.0):
        deadline = time.monotonic() + timeout
        while True:
            found = probe()
            if found:
                return found
            if time.monotonic() > deadline:
                raise AssertionError("gave up waiting for " + what)
            time.sleep(0.1)

    def visible(self, *criteria):
        return self.run("xdotool", "search", "--onlyvisible", *criteria)[1].split()

    def geometry(self, window):
        """(left, top, width, height) on the screen."""
        text = self.run("xwininfo", "-id", window)[1]
        fields = ["Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"]
        return tuple(int(re.search(field + r":\s+(-?\d+)", text).group(1)) for field in fields)

    def children(self, window):
        text = self.run("xwininfo", "-children", "-id", window)[1]
        return re.findall(r"^\s+(0x[0-9a-f]+) ", text, re.MULTILINE)

    def click(self, x, y):
        self.run("xdotool", "mousemove", "--sync", str(x), str(y), "click", "1")

    def click_middle_of(self, window):
        left, top, width, height = self.geometry(window)
        self.click(left + width // 2, top + height // 2)

    def clipboard(self):
        code, text = self.run("xclip", "-o", "-selection", "clipboard")
        return text if code == 0 else ""

    def title(self, window):
        return self.run("xprop", "-id", window, "_NET_WM_NAME")[1]


@pytest.fixture
def screen():
    xvfb, name = start_xvfb()
    screen = Screen(name)
    manager = subprocess.Popen(["openbox"], env=screen.env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        screen.wait_for("the window manager", lambda: "window id" in screen.run(
            "xprop", "-root", "_NET_SUPPORTING_WM_CHECK")[1])
        yield screen
    finally:
        manager.terminate()
        manager.wait(timeout=10)
        xvfb.terminate()
        xvfb.wait(timeout=10)


def widgets(screen, main):
    """The widget windows of the main window, from top to bottom."""
    inner = max(screen.children(main), key=lambda w: screen.geometry(w)[2] * screen.geometry(w)[3])
    found = sorted(screen.children(inner), key=lambda w: screen.geometry(w)[1])
    assert len(found) == WIDGET_COUNT
    return found


def choose_direction(screen, main, label):
    screen.click_middle_of(widgets(screen, main)[CHOICE])
    [menu] = screen.wait_for("the drop-down list", lambda: screen.visible("--class", "^Menu$"))
    left, top, width, height = screen.geometry(menu)
    entry = LABELS.index(label)
    screen.click(left + width // 2, top + int((entry + 0.5) * height / len(LABELS)))
    screen.wait_for("the list to close", lambda: not screen.visible("--class", "^Menu$"))


def close_result_box(screen):
    [box] = screen.wait_for("the result box", lambda: screen.visible("--class", "^Dialog$"))
    assert RESULT_TITLE in screen.title(box)
    screen.run("xdotool", "windowactivate", "--sync", box)
    screen.run("xdotool", "key", "Return")
    screen.wait_for("the box to close", lambda: not screen.visible("--class", "^Dialog$"))


def clipboard_becomes(screen, expected):
    return screen.wait_for("the clipboard to hold " + repr(expected),
                           lambda: screen.clipboard() == expected, timeout=5)


def test_translate_and_back_with_mouse_and_keyboard(screen, tmp_path):
    # The icon folder goes into the runtime folder; this one is watched.
    temp = tmp_path / "runtime"
    temp.mkdir()
    temp.chmod(0o700)
    folders = {"XDG_RUNTIME_DIR": str(temp), "TMPDIR": str(temp), "Temp": str(temp)}
    code = ("import os, Mirelo_2_5\n"
            "print(os.path.exists(Mirelo_2_5.program_temp))\n")
    with open(tmp_path / "stdout.txt", "wb") as stdout, \
            open(tmp_path / "stderr.txt", "wb") as stderr:
        app = subprocess.Popen([sys.executable, "-c", code], env=dict(screen.env, **folders),
                               cwd=str(tmp_path), stdin=subprocess.DEVNULL, stdout=stdout,
                               stderr=stderr)
    try:
        [main] = screen.wait_for("the main window",
                                 lambda: screen.visible("--name", "^Quenzari"), timeout=30)
        assert os.listdir(temp), "the icon folder should exist while the window is open"

        choose_direction(screen, main, "人语→猫语")
        screen.click_middle_of(widgets(screen, main)[INPUT_BOX])
        screen.run("xdotool", "type", "--delay", "60", TYPED)
        screen.click_middle_of(widgets(screen, main)[TRANSLATE])
        assert clipboard_becomes(screen, CAT_HI_WITH_LINE_FEED)
        close_result_box(screen)

        choose_direction(screen, main, "猫语→人语")
        screen.click_middle_of(widgets(screen, main)[TRANSLATE_CLIPBOARD])
        assert clipboard_becomes(screen, TYPED + "\n")
        close_result_box(screen)

        screen.run("xdotool", "windowactivate", "--sync", main)
        screen.run("xdotool", "key", "alt+F4")
        assert app.wait(timeout=20) == 0
    finally:
        if app.poll() is None:
            app.kill()
            app.wait()
    assert (tmp_path / "stdout.txt").read_text() == "False\n"
    assert "Traceback" not in (tmp_path / "stderr.txt").read_text()
    assert os.listdir(temp) == []
