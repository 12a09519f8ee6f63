"""The two buttons: where the text comes from, the order in which a result
reaches the clipboard, the result field and the info box, and what happens
when there is no result or a step of the action fails."""

import subprocess
import sys
import time

import pytest

from test_requests import (FAILURE_HINT, FAILURE_MESSAGE, BOX_TITLE, HI, NO_CHOICE_HINT,
                           NO_CHOICE_MESSAGE, OPPOSITE, IconRecorder, Recorder, set_result_field)

RESULT_TITLE = "翻译结果(已复制到剪贴板)"

# What a lone line feed becomes, and what joins it to the text before it.
LINE_FEED = {
    "人语→气泡语": ("OoOo", "0"),
    "人语→鸽语": ("鸽咕鸽", " "),
    "人语→猫语": ("喵喵喵？喵", " "),
    "人语→猴语": ("吱吱唧唧吱吱唧唧", " "),
}


def button(module, text):
    [found] = [child for child in module.app.winfo_children()
               if child.winfo_class() == "Button" and child.cget("text") == text]
    return found


def clipboard_text():
    """The clipboard as another program reads it; empty when nobody owns it."""
    reading = subprocess.run(["xclip", "-o", "-selection", "clipboard"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=10)
    return reading.stdout.decode("utf-8") if reading.returncode == 0 else ""


def clipboard_settles_on(expected, timeout=3.0):
    """xclip takes the clipboard a moment after copy returns: poll, bounded."""
    deadline = time.monotonic() + timeout
    while True:
        text = clipboard_text()
        if text == expected or time.monotonic() > deadline:
            return text
        time.sleep(0.05)


@pytest.fixture
def window(restored_window):
    """The live module with the clipboard recorded, not written; the
    direction, input box and result field are put back after the test."""
    restored_window.copy = Recorder()
    restored_window.run_icon = IconRecorder()
    return restored_window


class TestInputSources:
    @pytest.mark.parametrize("typed, handed_over", [
        ("", "\n"), ("Hi", "Hi\n"), ("two\nlines\n", "two\nlines\n\n"), ("  padded  ", "  padded  \n"),
    ])
    def test_translate_hands_over_the_whole_box_with_its_line_feed(self, window, typed,
                                                                     handed_over):
        window.do_return = Recorder(result="r")
        window.problem.insert("1.0", typed)
        window.do()
        assert window.do_return.calls == [((handed_over,), {})]

    @pytest.mark.parametrize("clipboard", ["", "Hi", "line\n", " 喵 "])
    def test_clipboard_button_hands_over_the_clipboard_unchanged(self, window, clipboard):
        window.do_return = Recorder(result="r")
        window.paste = Recorder(result=clipboard)
        window.problem.insert("1.0", "not this")
        window.translation_paste()
        assert window.paste.calls == [((), {})]
        assert window.do_return.calls == [((clipboard,), {})]

    @pytest.mark.parametrize("label", list(LINE_FEED))
    def test_empty_box_encodes_the_line_feed(self, window, label):
        window.depot.set(label)
        window.do()
        assert window.copy.calls == [((LINE_FEED[label][0],), {})]

    @pytest.mark.parametrize("label", list(OPPOSITE.values()))
    def test_empty_box_decodes_to_the_empty_text(self, window, label):
        set_result_field(window, "earlier text")
        window.depot.set(label)
        window.do()
        assert window.copy.calls == [(("",), {})]
        assert window.out.get() == ""
        assert window.showinfo.calls == [(RESULT_TITLE, "")]

    @pytest.mark.parametrize("label", list(LINE_FEED))
    def test_typed_text_ends_with_the_line_feed_group(self, window, label):
        group, joint = LINE_FEED[label]
        window.depot.set(label)
        window.problem.insert("1.0", "Hi")
        window.do()
        assert window.out.get() == HI[label] + joint + group


class TestDelivery:
    def test_clipboard_then_result_field_then_info_box(self, window):
        events = []
        window.do_return = Recorder(result="the result")
        window.copy = lambda text: events.append(("copy", text, window.out.get()))
        window.showinfo = lambda title, message: events.append(
            ("info", title, message, window.out.get()))
        set_result_field(window, "earlier text")
        window.do()
        assert events == [("copy", "the result", "earlier text"),
                          ("info", RESULT_TITLE, "the result", "the result")]

    def test_the_result_object_itself_is_delivered(self, window):
        result = "喵喵 result"
        window.do_return = Recorder(result=result)
        window.paste = Recorder(result="x")
        window.translation_paste()
        [((copied,), _)] = window.copy.calls
        assert copied is result
        assert window.showinfo.calls[0][1] is result

    def test_line_feeds_reach_the_result_field_unchanged(self, window):
        window.do_return = Recorder(result="one\ntwo\n")
        window.do()
        assert window.out.get() == "one\ntwo\n"

    def test_empty_result_still_empties_the_field_and_shows_the_box(self, window):
        window.do_return = Recorder(result="")
        set_result_field(window, "earlier text")
        window.do()
        assert window.copy.calls == [(("",), {})]
        assert window.out.get() == ""
        assert window.showinfo.calls == [(RESULT_TITLE, "")]

    @pytest.mark.parametrize("action", ["do", "translation_paste"])
    def test_no_result_stops_the_action(self, window, action):
        window.do_return = Recorder(result=None)
        window.paste = Recorder(result="x")
        set_result_field(window, "hint from the dispatch")
        assert getattr(window, action)() is None
        assert window.copy.calls == []
        assert window.out.get() == "hint from the dispatch"
        assert window.showinfo.calls == []

    @pytest.mark.parametrize("text", ["翻译", "翻译剪贴板内容"])
    def test_no_direction_leaves_only_the_error_box(self, window, text):
        window.paste = Recorder(result="Hi")
        window.problem.insert("1.0", "Hi")
        button(window, text).invoke()
        assert window.copy.calls == []
        assert window.out.get() == NO_CHOICE_HINT
        assert window.showerror.calls == [(BOX_TITLE, NO_CHOICE_MESSAGE)]
        assert window.showinfo.calls == []

    def test_unreadable_text_leaves_only_the_error_box(self, window):
        window.depot.set("鸽语→人语")
        window.problem.insert("1.0", "abc")
        button(window, "翻译").invoke()
        assert window.copy.calls == []
        assert window.out.get() == FAILURE_HINT
        assert window.showerror.calls == [(BOX_TITLE, FAILURE_MESSAGE)]
        assert window.showinfo.calls == []

    @pytest.mark.parametrize("action", [lambda f: f(1), lambda f: f(x=1)])
    @pytest.mark.parametrize("name", ["do", "translation_paste"])
    def test_arguments_are_refused(self, window, name, action):
        window.do_return = Recorder(result="r")
        with pytest.raises(TypeError):
            action(getattr(window, name))
        assert window.do_return.calls == []


class TestReferences:
    @pytest.mark.parametrize("action", ["do", "translation_paste"])
    def test_an_action_keeps_no_reference(self, window, action):
        result = "".join(["unshared ", "result"])
        clipboard = "".join(["unshared ", "clipboard"])
        window.do_return = lambda imput: result
        window.paste = lambda: clipboard
        window.copy = lambda text: None
        window.showinfo = lambda title, message: None
        before = sys.getrefcount(result), sys.getrefcount(clipboard)
        for _ in range(50):
            getattr(window, action)()
        assert (sys.getrefcount(result), sys.getrefcount(clipboard)) == before


class TestFailingSteps:
    def test_unwritable_clipboard_leaves_field_and_box_alone(self, window):
        window.do_return = Recorder(result="r")
        window.copy = Recorder(raises=OSError("clipboard"))
        set_result_field(window, "earlier text")
        with pytest.raises(OSError, match="clipboard"):
            window.do()
        assert window.out.get() == "earlier text"
        assert window.showinfo.calls == []

    def test_failure_from_a_button_goes_to_the_callback_handler(self, window):
        reported = []
        window.app.report_callback_exception = lambda kind, value, trace: reported.append(value)
        try:
            window.depot.set("人语→鸽语")
            window.problem.insert("1.0", "Hi")
            set_result_field(window, "earlier text")
            window.copy = Recorder(raises=OSError("clipboard"))
            button(window, "翻译").invoke()
            assert [str(error) for error in reported] == ["clipboard"]
            assert window.out.get() == "earlier text"
            assert window.showinfo.calls == []

            window.copy = Recorder()
            button(window, "翻译").invoke()
            assert window.out.get() == HI["人语→鸽语"] + " 鸽咕鸽"
            assert len(reported) == 1
        finally:
            del window.app.report_callback_exception

    @pytest.mark.parametrize("broken, action, reached", [
        ("problem", "do", []),
        ("paste", "translation_paste", []),
        ("showinfo", "do", ["do_return", "copy", "out"]),
    ])
    def test_a_failing_step_ends_the_action_there(self, window, broken, action, reached):
        class Broken:
            def __getattr__(self, name):
                raise RuntimeError("broken " + broken)

            def __call__(self, *args):
                raise RuntimeError("broken " + broken)

        window.do_return = Recorder(result="r")
        set_result_field(window, "earlier text")
        setattr(window, broken, Broken())
        with pytest.raises(RuntimeError, match="broken " + broken):
            getattr(window, action)()
        done = [step for step, happened in [
            ("do_return", window.do_return.calls),
            ("copy", window.copy.calls),
            ("out", window.out.get() == "r"),
        ] if happened]
        assert done == reached


class TestRealClipboard:
    @pytest.fixture
    def clipboard(self, mirelo):
        """The real clipboard; emptied first, so no earlier test leaks in."""
        import pyperclip

        pyperclip.copy("")
        deadline = time.monotonic() + 3
        while pyperclip.paste() != "" and time.monotonic() < deadline:
            time.sleep(0.05)
        return pyperclip

    def test_empty_clipboard_translates_to_the_empty_text(self, window, clipboard):
        window.copy = clipboard.copy
        window.depot.set("人语→猫语")
        set_result_field(window, "earlier text")
        button(window, "翻译剪贴板内容").invoke()
        assert window.out.get() == ""
        assert window.showinfo.calls == [(RESULT_TITLE, "")]
        assert clipboard_settles_on("") == ""

    @pytest.mark.parametrize("label", list(OPPOSITE))
    def test_translate_then_translate_the_clipboard_back(self, window, clipboard, label):
        text = "Hi, 你好 🐱\tend"
        window.copy = clipboard.copy
        window.depot.set(label)
        window.problem.insert("1.0", text)
        button(window, "翻译").invoke()
        encoded = window.out.get()
        assert clipboard_settles_on(encoded) == encoded

        window.depot.set(OPPOSITE[label])
        button(window, "翻译剪贴板内容").invoke()
        assert window.out.get() == text + "\n"
        assert clipboard_settles_on(text + "\n") == text + "\n"
        assert window.showinfo.calls == [(RESULT_TITLE, encoded), (RESULT_TITLE, text + "\n")]
