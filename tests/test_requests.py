"""do_return: the direction labels, the four languages' alphabets and icons,
the monkey icon draw, and the hint and error box for a missing choice or any
failure. The live widgets are driven; the engine and the random draw are
replaced by recorders where a test is about the dispatch alone."""

import random
import sys

import pytest
from hypothesis import HealthCheck, example, given, settings
from hypothesis import strategies as st

from engine_support import CallRecorder

NO_CHOICE_HINT = "请选择翻译种类！"
NO_CHOICE_MESSAGE = "请选择翻译种类！∑(っ°Д°;)っ"
FAILURE_HINT = "请输入对应的语言！"
FAILURE_MESSAGE = "_(:3」∠ )_ 请输入对应的语言！"
BOX_TITLE = "注意"

ENCODE, DECODE = "Translation_smooth", "Translation_disobey"

# label: (engine, value_list, numbers_list, icon name, icon number)
ALPHABETS = {
    "人语→气泡语": (ENCODE, ["O", "o", "0"], [1, 0, " "], "qipaoyu", 2),
    "气泡语→人语": (DECODE, ["0", "O", "o"], [" ", 1, 0], "qipaoyu", 2),
    "人语→鸽语": (ENCODE, ["哩", "鸽", "咕", " "], [2, 1, 0, " "], "gezi", 3),
    "鸽语→人语": (DECODE, ["哩", "鸽", "咕", " "], [2, 1, 0, " "], "gezi", 3),
    "人语→猫语": (ENCODE, ["喵喵喵！", "喵喵？", "喵", ","], [2, 0, 1, "喵呜~ "], "tabbit", 4),
    "猫语→人语": (DECODE, ["喵呜~", "喵喵喵！", "喵喵？", "喵"], ["", 2, 0, 1], "tabbit", 4),
    "人语→猴语": (ENCODE, ["吱吱", "唧唧", " "], [1, 0, " "], "monkey", 5),
    "猴语→人语": (DECODE, ["吱吱", "唧唧", " "], [1, 0, " "], "monkey", 5),
}
LABELS = list(ALPHABETS)
MONKEY_LABELS = ["人语→猴语", "猴语→人语"]
ICON_NAMES = ["qipaoyu", "gezi", "tabbit", "monkey", "monkey_cp"]

# The text Hi in each language, by encoding label.
HI = {
    "人语→气泡语": "OooOooo0OOoOooO",
    "人语→鸽语": "哩哩咕咕 鸽咕哩哩咕",
    "人语→猫语": "喵喵喵！喵喵喵！喵喵？喵喵？ 喵喵喵？喵喵喵！喵喵喵！喵喵？",
    "人语→猴语": "吱吱唧唧唧唧吱吱唧唧唧唧唧唧 吱吱吱吱唧唧吱吱唧唧唧唧吱吱",
}
OPPOSITE = {
    "人语→气泡语": "气泡语→人语",
    "人语→鸽语": "鸽语→人语",
    "人语→猫语": "猫语→人语",
    "人语→猴语": "猴语→人语",
}


class Recorder(CallRecorder):
    """A CallRecorder that answers with `result`, or with what `result()`
    gives when it is callable; tests may change `result` between calls."""

    def __init__(self, result=None, raises=None, log=None, name=None):
        super().__init__(answer=self.scripted, raises=raises, log=log, name=name)
        self.result = result

    def scripted(self, *args):
        return self.result() if callable(self.result) else self.result


class IconRecorder:
    """Stands in for run_icon: records the icon and number, writes nothing."""

    def __init__(self):
        self.calls = []

    def __call__(self, num_icon, number):
        self.calls.append((num_icon, number))


class Choice:
    """Stands in for depot: answers get() with a fixed value, logging reads."""

    def __init__(self, value, log=None):
        self.value = value
        self.log = log if log is not None else []

    def get(self):
        self.log.append("get")
        if isinstance(self.value, BaseException):
            raise self.value
        return self.value


@pytest.fixture
def window(restored_window):
    return restored_window


@pytest.fixture
def engines(window):
    """Both engine functions and the draw replaced by recorders; icon texts
    replaced by distinct markers so that their identity can be checked."""
    window.Translation_smooth = Recorder(result="encoded")
    window.Translation_disobey = Recorder(result="decoded")
    window.randint = Recorder(result=1)
    window.run_icon = IconRecorder()
    markers = {name: "<icon text %s>" % name for name in ICON_NAMES}
    for name, marker in markers.items():
        setattr(window, name, marker)
    window.markers = markers
    return window


@pytest.fixture
def quiet_icons(window):
    """The real engine, with the window icon call recorded instead of run."""
    window.run_icon = IconRecorder()
    return window


def typed(values):
    return [(type(value), value) for value in values]


def set_result_field(module, text):
    module.out.delete(0, "end")
    module.out.insert(0, text)


class TestLanguageRows:
    @pytest.mark.parametrize("label", LABELS)
    def test_each_label_calls_its_engine_with_its_alphabet_and_icon(self, engines, label):
        engine, values, numbers, icon, number = ALPHABETS[label]
        other = DECODE if engine == ENCODE else ENCODE
        engines.depot.set(label)
        imput = "Hi\n"

        result = engines.do_return(imput)

        assert result == getattr(engines, engine).result
        assert getattr(engines, other).calls == []
        [(args, kwargs)] = getattr(engines, engine).calls
        assert len(args) == 1 and args[0] is imput
        assert list(kwargs) == ["value_list", "numbers_list", "icon", "icon_num"]
        assert typed(kwargs["value_list"]) == typed(values)
        assert typed(kwargs["numbers_list"]) == typed(numbers)
        assert kwargs["icon"] is engines.markers[icon]
        assert typed([kwargs["icon_num"]]) == typed([number])

    def test_engine_result_is_returned_as_the_same_object(self, engines):
        engines.depot.set("猫语→人语")
        result = object()
        engines.Translation_disobey.result = result
        assert engines.do_return("x") is result

    def test_empty_text_from_the_engine_is_a_result(self, engines):
        set_result_field(engines, "earlier text")
        engines.depot.set("鸽语→人语")
        engines.Translation_disobey.result = ""
        assert engines.do_return("") == ""
        assert engines.out.get() == "earlier text"
        assert engines.showerror.calls == []

    def test_every_request_gets_new_lists(self, engines):
        engines.depot.set("人语→猫语")
        engines.do_return("a")
        first = engines.Translation_smooth.calls[0][1]
        first["value_list"].append("spoiled")
        first["numbers_list"][3] = "spoiled"
        engines.do_return("a")
        second = engines.Translation_smooth.calls[1][1]
        assert second["value_list"] is not first["value_list"]
        assert second["value_list"] == ["喵喵喵！", "喵喵？", "喵", ","]
        assert second["numbers_list"] == [2, 0, 1, "喵呜~ "]

    def test_the_selection_is_read_once_before_anything_else(self, engines):
        log = []
        engines.depot = Choice("人语→猴语", log)
        engines.randint = Recorder(result=2, log=log, name="randint")
        engines.Translation_smooth = Recorder(result="r", log=log, name="engine")
        engines.do_return("a")
        assert log == ["get", "randint", "engine"]

    def test_rebound_names_are_seen_by_the_next_request(self, engines):
        engines.depot.set("人语→气泡语")
        engines.do_return("a")
        replacement = Recorder(result="second")
        engines.Translation_smooth = replacement
        engines.qipaoyu = "another icon text"
        assert engines.do_return("a") == "second"
        assert replacement.calls[0][1]["icon"] == "another icon text"

    @pytest.mark.parametrize("label", [l for l in LABELS if l not in MONKEY_LABELS])
    def test_only_the_monkey_rows_draw(self, engines, label):
        engines.depot.set(label)
        engines.do_return("a")
        assert engines.randint.calls == []


class TestMonkeyIcon:
    @pytest.mark.parametrize("label", MONKEY_LABELS)
    @pytest.mark.parametrize("draw, icon, number", [(0, "monkey_cp", 6), (1, "monkey", 5),
                                                    (2, "monkey", 5)])
    def test_draw_picks_the_icon(self, engines, label, draw, icon, number):
        engine = ALPHABETS[label][0]
        engines.randint.result = draw
        engines.depot.set(label)
        engines.do_return("a")
        assert engines.randint.calls == [((0, 2), {})]
        kwargs = getattr(engines, engine).calls[0][1]
        assert kwargs["icon"] is engines.markers[icon]
        assert kwargs["icon_num"] == number
        assert kwargs["value_list"] == ["吱吱", "唧唧", " "]
        assert kwargs["numbers_list"] == [1, 0, " "]

    def test_one_request_in_three_shows_the_second_picture(self, engines):
        real = random.randint
        draws = []

        def recording_randint(low, high):
            draws.append((low, high))
            return real(low, high)

        random.seed(20240611)
        engines.randint = recording_randint
        requests = 600
        for i in range(requests):
            engines.depot.set(MONKEY_LABELS[i % 2])
            engines.do_return("a")
        icons = [kwargs["icon_num"] for _, kwargs in
                 engines.Translation_smooth.calls + engines.Translation_disobey.calls]
        assert draws == [(0, 2)] * requests
        assert set(icons) == {5, 6}
        # Expected 200 with a standard deviation near 11.5.
        assert 140 <= icons.count(6) <= 260

    def test_the_text_is_the_same_whichever_picture(self, quiet_icons):
        quiet_icons.randint = Recorder(result=iter([0, 1, 2, 0, 1, 2]).__next__)
        quiet_icons.depot.set("人语→猴语")
        encoded = {quiet_icons.do_return("Hi") for _ in range(3)}
        quiet_icons.depot.set("猴语→人语")
        decoded = {quiet_icons.do_return(HI["人语→猴语"]) for _ in range(3)}
        assert encoded == {HI["人语→猴语"]} and decoded == {"Hi"}
        numbers = [number for _, number in quiet_icons.run_icon.calls]
        assert numbers == [6, 5, 5, 6, 5, 5]


class TestNoDirection:
    @pytest.mark.parametrize("label", [
        "无", "", "人语→猫语 ", " 人语→猫语", "人语->猫语", "人语→猫", "人语→猫語",
        "猫语→人语\n", "人語→猴语",
    ])
    def test_anything_but_a_direction_label_asks_for_one(self, engines, label):
        set_result_field(engines, "earlier text")
        engines.depot.set(label)
        assert engines.do_return("Hi\n") is None
        assert engines.out.get() == NO_CHOICE_HINT
        assert engines.showerror.calls == [(BOX_TITLE, NO_CHOICE_MESSAGE)]
        assert engines.showinfo.calls == []
        assert engines.Translation_smooth.calls == engines.Translation_disobey.calls == []
        assert engines.run_icon.calls == []

    def test_the_hint_is_in_place_before_the_box_opens(self, engines):
        seen = []
        engines.showerror = lambda title, message: seen.append(engines.out.get())
        engines.depot.set("无")
        engines.do_return("a")
        assert seen == [NO_CHOICE_HINT]

    def test_a_failing_box_turns_into_the_failure_hint(self, engines):
        def box_failing_once(title, message):
            box_failing_once.calls.append((title, message))
            if len(box_failing_once.calls) == 1:
                raise RuntimeError("box")

        box_failing_once.calls = []
        engines.showerror = box_failing_once
        engines.depot.set("无")
        assert engines.do_return("a") is None
        assert box_failing_once.calls == [(BOX_TITLE, NO_CHOICE_MESSAGE),
                                          (BOX_TITLE, FAILURE_MESSAGE)]
        assert engines.out.get() == FAILURE_HINT


def fail_engine(module):
    module.Translation_disobey = Recorder(raises=ValueError("not in the language"))


def interrupt_engine(module):
    module.Translation_disobey = Recorder(raises=KeyboardInterrupt())


def exit_in_engine(module):
    module.Translation_disobey = Recorder(raises=SystemExit(3))


def unreadable_choice(module):
    module.depot = Choice(RuntimeError("no selection"))


def choice_without_equality(module):
    class Unequal:
        def __eq__(self, other):
            raise TypeError("cannot compare")

    module.depot = Choice(Unequal())


def missing_choice(module):
    del module.depot


def missing_icon_text(module):
    del module.tabbit


def missing_engine(module):
    del module.Translation_disobey


def failing_draw(module):
    module.depot.set("猴语→人语")
    module.randint = Recorder(raises=ValueError("draw"))


class TestFailure:
    @pytest.mark.parametrize("cause", [
        fail_engine, interrupt_engine, exit_in_engine, unreadable_choice,
        choice_without_equality, missing_choice, missing_icon_text, missing_engine,
        failing_draw,
    ])
    def test_every_failure_gives_the_same_hint_and_box(self, engines, cause):
        set_result_field(engines, "earlier text")
        engines.problem.insert("1.0", "input stays")
        engines.depot.set("猫语→人语")
        cause(engines)
        assert engines.do_return("喵喵") is None
        assert engines.out.get() == FAILURE_HINT
        assert engines.showerror.calls == [(BOX_TITLE, FAILURE_MESSAGE)]
        assert engines.showinfo.calls == []
        assert engines.problem.get("1.0", "end") == "input stays\n"
        assert sys.exc_info() == (None, None, None)

    def test_the_hint_is_in_place_before_the_box_opens(self, engines):
        fail_engine(engines)
        seen = []
        engines.showerror = lambda title, message: seen.append(engines.out.get())
        engines.depot.set("猫语→人语")
        engines.do_return("a")
        assert seen == [FAILURE_HINT]

    def test_a_failure_in_the_handler_reaches_the_caller(self, engines):
        class BrokenField:
            def delete(self, first, last):
                raise RuntimeError("result field")

        fail_engine(engines)
        engines.out = BrokenField()
        engines.depot.set("猫语→人语")
        with pytest.raises(RuntimeError, match="result field") as caught:
            engines.do_return("a")
        assert caught.value.__context__ is None
        assert engines.showerror.calls == []

    def test_a_failing_box_in_the_handler_reaches_the_caller(self, engines):
        fail_engine(engines)
        engines.showerror = Recorder(raises=LookupError("box"))
        engines.depot.set("猫语→人语")
        with pytest.raises(LookupError):
            engines.do_return("a")
        assert engines.out.get() == FAILURE_HINT

    @pytest.mark.parametrize("call", [
        lambda f: f(), lambda f: f("a", "b"), lambda f: f(imput="a"),
    ])
    def test_wrong_arguments_do_nothing_else(self, engines, call):
        log = []
        engines.depot = Choice("人语→猫语", log)
        set_result_field(engines, "earlier text")
        with pytest.raises(TypeError):
            call(engines.do_return)
        assert log == []
        assert engines.out.get() == "earlier text"
        assert engines.showerror.calls == []


class TestReferences:
    @pytest.mark.parametrize("label, engine", [
        ("人语→猫语", lambda imput, **alphabet: RESULT),
        ("猴语→人语", lambda imput, **alphabet: RESULT),
        ("无", None),
        ("猫语→人语", lambda imput, **alphabet: int("not a number")),
    ])
    def test_a_request_keeps_no_reference(self, engines, label, engine):
        engines.Translation_smooth = engines.Translation_disobey = engine
        engines.randint = lambda low, high: 0
        engines.showerror = lambda title, message: None
        engines.depot.set(label)
        imput = "".join(["unshared ", "text"])
        watched = [imput, RESULT, engines.tabbit, engines.monkey_cp]
        before = [sys.getrefcount(thing) for thing in watched]
        for _ in range(50):
            engines.do_return(imput)
        assert [sys.getrefcount(thing) for thing in watched] == before


RESULT = "".join(["unshared ", "result"])


class TestRealEngine:
    @pytest.mark.parametrize("label", list(HI))
    def test_hi_and_back(self, quiet_icons, label):
        quiet_icons.depot.set(label)
        assert quiet_icons.do_return("Hi") == HI[label]
        quiet_icons.depot.set(OPPOSITE[label])
        assert quiet_icons.do_return(HI[label]) == "Hi"
        assert quiet_icons.showerror.calls == []

    def test_text_not_in_the_language_fails_after_the_icon_changed(self, quiet_icons):
        quiet_icons.depot.set("鸽语→人语")
        assert quiet_icons.do_return("abc") is None
        assert quiet_icons.run_icon.calls == [(quiet_icons.gezi, 3)]
        assert quiet_icons.out.get() == FAILURE_HINT
        assert quiet_icons.showerror.calls == [(BOX_TITLE, FAILURE_MESSAGE)]

    def test_bubble_decoding_restores_separators_before_zeros(self, quiet_icons):
        # "0" separates characters, "o" is the digit 0: the order of the pairs matters.
        quiet_icons.depot.set("气泡语→人语")
        assert quiet_icons.do_return("Oo0OoOo0Ooo") == "\x02\x0a\x04"

    def test_cat_decoding_drops_its_separator_syllable(self, quiet_icons):
        quiet_icons.depot.set("猫语→人语")
        assert quiet_icons.do_return("喵呜~" + HI["人语→猫语"] + "喵呜~") == "Hi"

    @pytest.mark.parametrize("label", list(HI))
    @settings(max_examples=60, deadline=None,
              suppress_health_check=[HealthCheck.function_scoped_fixture])
    @given(text=st.lists(st.integers(0, 0x10FFFF).map(chr), max_size=12).map("".join))
    @example(text="\x00")
    @example(text="\ud800\udc00 \U0010ffff")
    @example(text=" \t\n0 1 ")
    def test_any_text_comes_back(self, quiet_icons, label, text):
        quiet_icons.depot.set(label)
        encoded = quiet_icons.do_return(text)
        quiet_icons.depot.set(OPPOSITE[label])
        assert quiet_icons.do_return(encoded) == text
