"""A private X screen with a window manager, for tests that start the
program in its own process and drive it as a person does. Windows of the
test process itself never show up on it."""

import os
import re
import subprocess
import time


class Screen:
    """The tools a test uses to look at the screen and act on it."""

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

    def close(self, window, program):
        """Alt+F4 until the program ends, and its status: on a busy machine
        the first press can come before the window manager has taken the
        window over."""
        for _ in range(4):
            self.run("xdotool", "windowactivate", "--sync", window)
            self.run("xdotool", "key", "--clearmodifiers", "alt+F4")
            try:
                return program.wait(timeout=5)
            except subprocess.TimeoutExpired:
                pass
        raise AssertionError("the window did not close with Alt+F4")

    def title(self, window):
        return self.run("xprop", "-id", window, "_NET_WM_NAME")[1]
