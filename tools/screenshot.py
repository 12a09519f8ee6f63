#!/usr/bin/env python3
"""Takes the README's picture of the window: runs the application on a private
Xvfb screen with openbox, translates Hi into cat language with real clicks and
keys, closes the result box and saves the window as a PNG.

    python tools/screenshot.py [docs/window.png]

Run it with an interpreter that has the module installed. Needs Xvfb, openbox,
xdotool, x11-utils, imagemagick and a Chinese font (fonts-wqy-microhei)."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

LABELS = ["人语→气泡语", "气泡语→人语", "人语→鸽语", "鸽语→人语",
          "人语→猫语", "猫语→人语", "人语→猴语", "猴语→人语"]
DIRECTION, TEXT = "人语→猫语", "Hi"
# The window's widgets from top to bottom.
CHOICE, INPUT_BOX, TRANSLATE = 1, 3, 4


def start_xvfb():
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0", "1024x768x24"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        if not chunk:
            sys.exit("Xvfb did not start")
        number += chunk
    os.close(read_end)
    return server, ":" + number.decode().strip()


class Screen:
    def __init__(self, display):
        self.env = dict(os.environ, DISPLAY=display)

    def run(self, *command):
        return subprocess.run(command, env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=20).stdout.decode("utf-8", "replace")

    def wait_for(self, what, probe, timeout=20.0):
        deadline = time.monotonic() + timeout
        while not probe():
            if time.monotonic() > deadline:
                sys.exit("gave up waiting for " + what)
            time.sleep(0.1)
        return probe()

    def visible(self, *criteria):
        return self.run("xdotool", "search", "--onlyvisible", *criteria).split()

    def geometry(self, window):
        text = self.run("xwininfo", "-id", window)
        fields = ["Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"]
        return [int(re.search(field + r":\s+(-?\d+)", text).group(1)) for field in fields]

    def children(self, window):
        return re.findall(r"^\s+(0x[0-9a-f]+) ", self.run("xwininfo", "-children", "-id", window),
                          re.MULTILINE)

    def click(self, x, y):
        self.run("xdotool", "mousemove", "--sync", str(x), str(y), "click", "1")

    def click_middle_of(self, window):
        left, top, width, height = self.geometry(window)
        self.click(left + width // 2, top + height // 2)

    def widgets(self, main):
        inner = max(self.children(main), key=lambda w: self.geometry(w)[2] * self.geometry(w)[3])
        return sorted(self.children(inner), key=lambda w: self.geometry(w)[1])

    def press_return_on(self, window_class):
        [box] = self.wait_for("a " + window_class, lambda: self.visible("--class", window_class))
        self.run("xdotool", "windowactivate", "--sync", box)
        self.run("xdotool", "key", "Return")
        self.wait_for("it to close", lambda: not self.visible("--class", window_class))


def translate_hi(screen, main):
    screen.click_middle_of(screen.widgets(main)[CHOICE])
    [menu] = screen.wait_for("the drop-down list", lambda: screen.visible("--class", "^Menu$"))
    left, top, width, height = screen.geometry(menu)
    entry = LABELS.index(DIRECTION)
    screen.click(left + width // 2, top + int((entry + 0.5) * height / len(LABELS)))
    screen.wait_for("the list to close", lambda: not screen.visible("--class", "^Menu$"))
    screen.click_middle_of(screen.widgets(main)[INPUT_BOX])
    screen.run("xdotool", "type", "--delay", "60", TEXT)
    screen.click_middle_of(screen.widgets(main)[TRANSLATE])
    screen.press_return_on("^Dialog$")


def main():
    target = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "docs/window.png")
    server, display = start_xvfb()
    screen = Screen(display)
    manager = subprocess.Popen(["openbox"], env=screen.env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    runtime = tempfile.mkdtemp(prefix="mirelo-shot-")
    app = None
    try:
        screen.wait_for("the window manager", lambda: "window id" in screen.run(
            "xprop", "-root", "_NET_SUPPORTING_WM_CHECK"))
        app = subprocess.Popen([sys.executable, "-c", "import Mirelo_2_5"],
                               env=dict(screen.env, XDG_RUNTIME_DIR=runtime),
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        [window] = screen.wait_for("the window", lambda: screen.visible("--name", "^Quenzari"))
        translate_hi(screen, window)
        # Let the pointer leave the button, so that it is not drawn highlighted.
        screen.run("xdotool", "mousemove", "--sync", "1000", "740")
        time.sleep(0.5)
        subprocess.run(["import", "-window", window, target], env=screen.env, check=True)
        screen.run("xdotool", "windowactivate", "--sync", window)
        screen.run("xdotool", "key", "alt+F4")
        app.wait(timeout=20)
        app = None
    finally:
        if app is not None:
            app.kill()
        manager.terminate()
        server.terminate()
        shutil.rmtree(runtime, ignore_errors=True)
    print(target)


if __name__ == "__main__":
    main()
