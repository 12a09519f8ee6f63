"""End to end, as a person uses the program: the application runs in its own
process on its own screen with a window manager, and is driven only with
real mouse clicks and key presses; the clipboard is read as another program
reads it."""

import os
import subprocess
import sys


TYPED = "Hi"
CAT_HI_WITH_LINE_FEED = ("喵喵喵！喵喵喵！喵喵？喵喵？ 喵喵喵？喵喵喵！喵喵喵！喵喵？"
                         " 喵喵喵？喵")
RESULT_TITLE = "翻译结果(已复制到剪贴板)"
LABELS = ["人语→气泡语", "气泡语→人语", "人语→鸽语", "鸽语→人语",
          "人语→猫语", "猫语→人语", "人语→猴语", "猴语→人语"]
# The window's widgets from top to bottom.
CHOICE, INPUT_BOX, TRANSLATE, TRANSLATE_CLIPBOARD = 1, 3, 4, 5
WIDGET_COUNT = 9


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

        assert screen.close(main, app) == 0
    finally:
        if app.poll() is None:
            app.kill()
            app.wait()
    assert (tmp_path / "stdout.txt").read_text() == "False\n"
    assert "Traceback" not in (tmp_path / "stderr.txt").read_text()
    assert os.listdir(temp) == []
