"""Bad input for every module function: wrong calling forms, wrong types in
every position, huge inputs, whitespace and surrogates, alphabets that break
the ordering rules, icon texts that are no icon, and folders that cannot be
written. Each case ends in the result or exception the plain algorithm gives,
or in a clean exception where the plain algorithm would never end; never in
a crash, a hang or a partial file. Cases that could hang or crash run in a
fresh interpreter under a time limit. The table of these cases is
docs/bad-input.md."""

import base64
import binascii
import json
import math
import os
import textwrap
from pathlib import Path

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import plain_translation as reference
from conftest import run_python

TESTS = str(Path(__file__).resolve().parent)

NO_CHOICE_HINT = "请选择翻译种类！"
FAILURE_HINT = "请输入对应的语言！"

# label: (encodes, value_list, numbers_list)
LANGUAGES = {
    "人语→气泡语": (True, ["O", "o", "0"], [1, 0, " "]),
    "气泡语→人语": (False, ["0", "O", "o"], [" ", 1, 0]),
    "人语→鸽语": (True, ["哩", "鸽", "咕", " "], [2, 1, 0, " "]),
    "鸽语→人语": (False, ["哩", "鸽", "咕", " "], [2, 1, 0, " "]),
    "人语→猫语": (True, ["喵喵喵！", "喵喵？", "喵", ","], [2, 0, 1, "喵呜~ "]),
    "猫语→人语": (False, ["喵呜~", "喵喵喵！", "喵喵？", "喵"], ["", 2, 0, 1]),
    "人语→猴语": (True, ["吱吱", "唧唧", " "], [1, 0, " "]),
    "猴语→人语": (False, ["吱吱", "唧唧", " "], [1, 0, " "]),
}
ENCODINGS = [label for label, row in LANGUAGES.items() if row[0]]
OPPOSITE = {label: label.split("→")[1] + "→" + label.split("→")[0] for label in LANGUAGES}
WHITESPACE = "".join(chr(c) for c in range(0x110000) if chr(c).isspace())
SURROGATES = "".join(chr(c) for c in range(0xD800, 0xE000))


def outcome(function, *args, **kwargs):
    """("ok", result) or ("error", exception type)."""
    try:
        return ("ok", function(*args, **kwargs))
    except Exception as error:  # the kind of every failure is compared
        return ("error", type(error))


def plain(label, text):
    encodes, values, numbers = LANGUAGES[label]
    return outcome(reference.encode if encodes else reference.decode, text, values, numbers)


class Silent:
    """Stands in for run_icon, copy or a message box: records, writes nothing."""

    def __init__(self, answer=None):
        self.calls = []
        self.answer = answer

    def __call__(self, *args, **kwargs):
        self.calls.append(args)
        return self.answer


@pytest.fixture
def folder(mirelo, tmp_path):
    """program_temp pointed at a fresh, not yet existing folder."""
    path = tmp_path / "Quenzariv2.2"
    mirelo.program_temp = str(path)
    return path


@pytest.fixture
def quiet(mirelo):
    """The engine without its window icon, the clipboard kept in memory."""
    mirelo.run_icon = Silent()
    mirelo.copy = Silent()
    mirelo.paste = Silent("")
    return mirelo


def leftovers(path):
    return sorted(os.listdir(path)) if os.path.isdir(path) else []


def guarded(code, tmp_path, timeout=120):
    """Runs `code` in a fresh interpreter with the module loaded (main loop
    returning at once, no window icon) and returns what it printed as JSON.
    A hang fails the test through the time limit; a crash through the exit
    status."""
    prelude = textwrap.dedent("""\
        import json, math, sys, tkinter
        sys.path.insert(0, {tests!r})
        import plain_translation as reference
        tkinter.Tk.mainloop = lambda self, n=0: None
        import Mirelo_2_5 as m
        m.run_icon = lambda num_icon, number: None

        def outcome(function, *args):
            try:
                return ["ok", function(*args)]
            except Exception as error:
                return ["error", type(error).__name__]
        """).format(tests=TESTS)
    completed = run_python(prelude + textwrap.dedent(code), timeout=timeout, tmp_path=tmp_path)
    assert completed.returncode == 0, completed.stderr[-3000:]
    return json.loads(completed.stdout.strip().splitlines()[-1])


# --- Calling forms ---------------------------------------------------------------

VALID = {
    "changeover": ((5, 2), ("num", "base")),
    "Translation_smooth": (("Hi", ["O", "o", "0"], [1, 0, " "], "", 2),
                           ("imput", "value_list", "numbers_list", "icon", "icon_num")),
    "Translation_disobey": (("Hi", ["0", "O", "o"], [" ", 1, 0], "", 2),
                            ("imput", "value_list", "numbers_list", "icon", "icon_num")),
    "make_icon": (("", 7), ("num_icon", "number")),
    "run_icon": (("", 7), ("num_icon", "number")),
}


def wrong_forms(name):
    args, names = VALID[name]
    yield args[:-1], {}
    yield args + (0,), {}
    yield args, {"extra": 1}
    yield args, {names[0]: args[0]}
    yield (), dict(zip(names[1:], args[1:]))
    yield (), {}


WRONG_CALLS = [(name, a, k) for name in VALID for a, k in wrong_forms(name)] + [
    ("do_return", (), {}),
    ("do_return", ("Hi", "Hi"), {}),
    ("do_return", (), {"imput": "Hi"}),
    ("do", ("x",), {}),
    ("do", (), {"imput": "x"}),
    ("translation_paste", ("x",), {}),
    ("translation_paste", (), {"imput": "x"}),
    ("del_file", (), {}),
    ("del_file", ("a", "b"), {}),
    ("del_file", (), {"filePath": "a"}),
]


@pytest.mark.parametrize("name, args, kwargs", WRONG_CALLS)
def test_wrong_calling_form_raises_type_error_and_does_nothing(mirelo, folder, name, args,
                                                               kwargs):
    quiet = mirelo
    quiet.copy, quiet.paste = Silent(), Silent("")
    icons_shown = []
    quiet.app = type("App", (), {"iconbitmap": lambda self, path: icons_shown.append(path)})()
    quiet.depot.set("人语→鸽语")
    quiet.problem.insert("1.0", "Hi")
    quiet.out.insert(0, "before")
    folder.mkdir()
    (folder / "keep").write_text("kept")
    if name == "del_file":
        args = tuple(str(folder) for _ in args)
        kwargs = {key: str(folder) for key in kwargs}
    with pytest.raises(TypeError):
        getattr(quiet, name)(*args, **kwargs)
    assert leftovers(folder) == ["keep"]
    assert quiet.out.get() == "before"
    assert icons_shown == quiet.copy.calls == quiet.paste.calls == []
    assert quiet.showerror.calls == quiet.showinfo.calls == []


# --- Wrong types in every position --------------------------------------------------

ODD_VALUES = [None, 5, -3, 2.5, "5", b"5", [], ["1"], (1,), {1: 2}, True, object()]
# Bases for which the plain loop never reaches 0 are in the guarded group.
ENDLESS_BASES = (1, -1, 1.0, -1.0, 0.5, True)


def ends(num, base):
    if isinstance(base, (int, float)) and (base in ENDLESS_BASES or -1 < base < 1) and base != 0:
        return isinstance(num, (int, float)) and num == 0
    if isinstance(num, float) and (math.isinf(num) or math.isnan(num)):
        return False
    return True


@pytest.mark.parametrize("num", ODD_VALUES + [0, 12345])
@pytest.mark.parametrize("base", ODD_VALUES + [0, 2, 3, 16, -2, 2 ** 70])
def test_changeover_types_match_the_plain_loop(quiet, num, base):
    if not ends(num, base):
        pytest.skip("the plain loop never ends here: see the guarded cases")
    assert outcome(quiet.changeover, num, base) == outcome(reference.changeover, num, base)


GOOD_ENCODE = ("Hé漢😀", ["O", "o", "0"], [1, 0, " "])
GOOD_DECODE = ("OooOooo0OOoOooO", ["0", "O", "o"], [" ", 1, 0])
ODD_TEXTS = [None, 5, b"Hi", ["H", "i"], [b"H"], ["Hi"], [72], "", " \t\n", "Hi"]
ODD_LISTS = [None, 5, "Oo0", ["O", "o"], ["O", 1, "0"], ["O", None, "0"], [1, 0, " ", 5],
             {0: "O", 1: "o", 2: "0"}, ["", "", ""], [b"O", b"o", b"0"], ["1", "0", " "],
             [1, 0, " ", 3, 4, 5, 6, 7, 8, 9, 10, 11]]


def engine_cases():
    for encodes, (text, values, numbers) in ((True, GOOD_ENCODE), (False, GOOD_DECODE)):
        for odd in ODD_TEXTS:
            yield encodes, odd, values, numbers
        for odd in ODD_LISTS:
            yield encodes, text, odd, numbers
            # Two entries make a base of 1: see the guarded cases.
            if not (encodes and hasattr(odd, "__len__") and len(odd) == 2):
                yield encodes, text, values, odd


@pytest.mark.parametrize("encodes, text, values, numbers", list(engine_cases()))
def test_engine_types_match_the_plain_algorithm(quiet, encodes, text, values, numbers):
    function = quiet.Translation_smooth if encodes else quiet.Translation_disobey
    plain_function = reference.encode if encodes else reference.decode
    assert outcome(function, text, values, numbers, "icon", 2) == \
        outcome(plain_function, text, values, numbers)
    assert quiet.run_icon.calls == [("icon", 2)], "the icon is set before anything is read"


@pytest.mark.parametrize("encodes", [True, False])
@pytest.mark.parametrize("icon, number, kind", [
    (None, 2, TypeError), (5, 2, TypeError), ("not*base64", 2, binascii.Error),
    ("泡泡", 2, ValueError), ("qipaoyu", (7, 8), TypeError),
])
def test_bad_icon_arguments_stop_the_engine_first(mirelo, folder, encodes, icon, number, kind):
    function = mirelo.Translation_smooth if encodes else mirelo.Translation_disobey
    text, values, numbers = GOOD_ENCODE if encodes else GOOD_DECODE
    icon = mirelo.qipaoyu if icon == "qipaoyu" else icon
    with pytest.raises(kind):
        function(text, values, numbers, icon, number)
    assert leftovers(folder) == []


def test_dispatch_turns_any_text_type_into_a_result_or_the_failure_hint(quiet):
    for label in LANGUAGES:
        quiet.depot.set(label)
        for text in ODD_TEXTS + [["喵", "喵"], "O O", "\0"]:
            expected = plain(label, text)
            quiet.showerror.calls.clear()
            quiet.out.delete(0, "end")
            result = quiet.do_return(text)
            if expected[0] == "ok":
                assert result == expected[1], (label, text)
                assert quiet.showerror.calls == []
            else:
                assert result is None, (label, text)
                assert quiet.out.get() == FAILURE_HINT
                assert len(quiet.showerror.calls) == 1


@pytest.mark.parametrize("selection", [5, None, b"\xe4\xba\xba", "人语→鸽语 ", "人语->鸽语", ""])
def test_any_other_selection_is_no_choice(quiet, selection):
    class Depot:
        def get(self):
            return selection
    quiet.depot = Depot()
    assert quiet.do_return("Hi") is None
    assert quiet.out.get() == NO_CHOICE_HINT
    assert quiet.run_icon.calls == []


def test_selection_that_cannot_be_read_takes_the_failure_path(quiet):
    class Depot:
        def get(self):
            raise RuntimeError("gone")
    quiet.depot = Depot()
    assert quiet.do_return("Hi") is None
    assert quiet.out.get() == FAILURE_HINT


@pytest.mark.parametrize("clipboard", [None, 5, b"Hi", ["H", "i"]])
def test_clipboard_of_another_type_is_translated_or_reported(quiet, clipboard):
    quiet.depot.set("人语→猴语")
    quiet.paste = Silent(clipboard)
    quiet.translation_paste()
    expected = plain("人语→猴语", clipboard)
    if expected[0] == "ok":
        assert quiet.copy.calls == [(expected[1],)]
    else:
        assert quiet.copy.calls == [] and quiet.showinfo.calls == []
        assert quiet.out.get() == FAILURE_HINT


# --- Huge inputs, endless loops: in a fresh interpreter under a time limit -----

def test_huge_texts_round_trip_and_fail_cleanly(tmp_path):
    seen = guarded("""
        size = 16 * 2 ** 20
        text = "a" * size
        encoded = m.Translation_smooth(text, ["O", "o", "0"], [1, 0, " "], "", 2)
        unit = reference.encode("a", ["O", "o", "0"], [1, 0, " "])
        same = encoded == "0".join([unit] * size)
        back = m.Translation_disobey(encoded, ["0", "O", "o"], [" ", 1, 0], "", 2) == text
        del encoded
        wide = "漢😀" * (size // 8)
        pigeon = m.Translation_smooth(wide, ["哩", "鸽", "咕", " "], [2, 1, 0, " "], "", 3)
        wide_back = m.Translation_disobey(pigeon, ["哩", "鸽", "咕", " "], [2, 1, 0, " "], "", 3)
        del pigeon
        garbage = outcome(m.Translation_disobey, "O" * size + "X", ["0", "O", "o"],
                          [" ", 1, 0], "", 2)
        print(json.dumps([same, back, wide_back == wide, garbage]))
        """, tmp_path)
    assert seen == [True, True, True, ["error", "ValueError"]]


def test_long_groups_and_long_integers_match_the_plain_algorithm(tmp_path):
    seen = guarded("""
        results = []
        for digits in ("1" * 10000, "2" * 10000, "1" + "0" * 9999, "0" * 10000 + "1"):
            for values, numbers in ((["x", "y", "z"], [1, 0, " "]),
                                    (["x", "y", "z", "w"], [2, 1, 0, " "]),
                                    ([str(d) for d in range(11)], list(range(10)) + [" "])):
                results.append(outcome(m.Translation_disobey, digits, values, numbers, "", 2)
                               == outcome(reference.decode, digits, values, numbers))
        for num in (10 ** 5000, -(7 ** 6000), 2 ** 20000 - 1, 3 ** 9000):
            for base in (2, 3, 7, 10, 16, -3, 10 ** 4000):
                results.append(outcome(m.changeover, num, base)
                               == outcome(reference.changeover, num, base))
        print(json.dumps(results))
        """, tmp_path)
    assert seen and all(seen)


def test_long_group_in_a_request_gives_the_failure_hint(tmp_path):
    seen = guarded("""
        m.showerror = lambda title, message: None
        results = []
        for label, syllable in (("气泡语→人语", "O"), ("鸽语→人语", "鸽"), ("猫语→人语", "喵"),
                                ("猴语→人语", "吱吱")):
            m.depot.set(label)
            results.append([m.do_return(syllable * 10000), m.out.get()])
        print(json.dumps(results))
        """, tmp_path)
    assert seen == [[None, FAILURE_HINT]] * 4


def test_endless_divisions_raise_value_error(tmp_path):
    seen = guarded("""
        nan, inf = float("nan"), float("inf")
        cases = [(5, 1), (5, -1), (-5, 1), (5, 1.0), (5, -1.0), (5, 0.5), (5, -0.25), (5, True),
                 (nan, 2), (inf, 2), (-inf, 3), (5, nan), (inf, inf), (10 ** 4000, 1)]
        results = [outcome(m.changeover, num, base) for num, base in cases]
        for numbers in ([1, " "], [], [" "] * 2):
            results.append(outcome(m.Translation_smooth, "Hi", ["O", "o", "0"], numbers, "", 2))
        print(json.dumps(results))
        """, tmp_path, timeout=60)
    assert seen == [["error", "ValueError"]] * 17


def test_ends_where_the_plain_loop_does_for_those_bases(tmp_path):
    seen = guarded("""
        results = []
        for num, base in ((0, 1), (0, -1), (0, 0.5), (0.0, 1), (0, True)):
            results.append(outcome(m.changeover, num, base)
                           == outcome(reference.changeover, num, base))
        # A base of 0 divides by zero at once; a one-entry decoding list reads
        # groups with automatic base detection.
        results.append(outcome(m.Translation_smooth, "Hi", ["O"], [" "], "", 2)
                       == ["error", "ZeroDivisionError"])
        results.append(outcome(m.Translation_disobey, "0x48 0o151 0b1", ["O"], [" "], "", 2)
                       == outcome(reference.decode, "0x48 0o151 0b1", ["O"], [" "]))
        print(json.dumps(results))
        """, tmp_path, timeout=60)
    assert seen and all(seen)


# --- Whitespace, surrogates and digits from all of Unicode ---------------------------

@pytest.mark.parametrize("label", [label for label in LANGUAGES if not LANGUAGES[label][0]])
def test_every_whitespace_separates_groups(quiet, label):
    quiet.depot.set(OPPOSITE[label])
    groups = [quiet.do_return(c).strip() for c in "Hi"]
    quiet.depot.set(label)
    for space in WHITESPACE:
        text = space + space.join(groups) + space * 2
        assert quiet.do_return(text) == plain(label, text)[1], repr(space)


@pytest.mark.parametrize("label", ENCODINGS)
def test_whitespace_surrogates_and_the_extremes_round_trip(quiet, label):
    text = WHITESPACE + SURROGATES + "\0\U0010ffff\ufeff\u200b"
    quiet.depot.set(label)
    encoded = quiet.do_return(text)
    assert encoded == plain(label, text)[1]
    quiet.depot.set(OPPOSITE[label])
    assert quiet.do_return(encoded) == text


@pytest.mark.parametrize("group", [
    "１０", "1_0", "1__0", "_10", "+10", "-10", "0b10", "0B1", "0x1", "٣", "߁", "10\u200b",
    "\ufeff10", "1\u180e0", "²", "½", "Ⅻ", "1" * 22, "0" * 50,
])
def test_unusual_digit_groups_read_as_the_plain_algorithm_reads_them(quiet, group):
    for label in ("气泡语→人语", "鸽语→人语"):
        quiet.depot.set(label)
        _, values, numbers = LANGUAGES[label]
        expected = outcome(reference.decode, group, values, numbers)
        assert outcome(quiet.Translation_disobey, group, values, numbers, "", 2) == expected
        assert quiet.do_return(group) == (expected[1] if expected[0] == "ok" else None)


# --- Alphabets that break the ordering rules ----------------------------------------

SYMBOLS = st.sampled_from(["0", "1", "2", " ", "\t", "O", "o", "喵", "", "00", "O0", "\u3000"])
ALPHABET_SETTINGS = settings(derandomize=True, database=None, deadline=None, max_examples=300,
                             suppress_health_check=[HealthCheck.function_scoped_fixture])


@st.composite
def alphabets(draw):
    size = draw(st.integers(3, 6))
    values = draw(st.lists(SYMBOLS, min_size=size, max_size=size + 1))
    digits = draw(st.permutations(list(range(size - 1))))
    separator = draw(SYMBOLS)
    numbers = [*digits]
    numbers.insert(draw(st.integers(0, size - 1)), separator)
    return values, [draw(st.sampled_from([d, str(d)])) if isinstance(d, int) else d
                    for d in numbers]


@ALPHABET_SETTINGS
@given(text=st.text(max_size=6), alphabet=alphabets())
def test_any_alphabet_encodes_as_the_plain_algorithm(quiet, text, alphabet):
    values, numbers = alphabet
    assert outcome(quiet.Translation_smooth, text, values, numbers, "", 2) == \
        outcome(reference.encode, text, values, numbers)


@ALPHABET_SETTINGS
@given(text=st.text(alphabet="012 \t\nOo喵\u3000x", max_size=12), alphabet=alphabets())
def test_any_alphabet_decodes_as_the_plain_algorithm(quiet, text, alphabet):
    values, numbers = alphabet
    assert outcome(quiet.Translation_disobey, text, values, numbers, "", 2) == \
        outcome(reference.decode, text, values, numbers)


def test_decoding_in_encoding_order_gives_what_the_passes_give(quiet):
    assert quiet.Translation_disobey("baabaaa0bbabaab", ["b", "a", "0"], [1, 0, " "], "", 2) \
        == "\x01\x01\x03\x01\x01"


# --- Icon texts that are no icon ------------------------------------------------

@pytest.mark.parametrize("text", [
    "not*base64", "abc", "QUJ", "漢字", "QUJD\u00e9", b"QUJ", None, 5, ["QUJD"],
])
def test_text_that_does_not_decode_leaves_no_file(mirelo, folder, text):
    expected = outcome(base64.b64decode, text)
    assert expected[0] == "error"
    for function in (mirelo.make_icon, mirelo.run_icon):
        assert outcome(function, text, 2) == expected
    assert leftovers(folder) == []
    assert mirelo.make_icon(mirelo.qipaoyu, 2) == str(folder / "2.ico")
    assert (folder / "2.ico").read_bytes() == base64.b64decode(mirelo.qipaoyu)


@pytest.mark.parametrize("content", [b"", b"GIF89a", b"\0\0\1\0" + b"\xff" * 100,
                                     b"\0" * 5000])
def test_bytes_that_are_no_icon_are_written_whole_then_refused(mirelo, folder, content):
    import tkinter
    text = base64.b64encode(content).decode()
    assert mirelo.make_icon(text, 4) == str(folder / "4.ico")
    assert (folder / "4.ico").read_bytes() == content
    with pytest.raises(tkinter.TclError):
        mirelo.run_icon(text, 4)
    assert leftovers(folder) == ["4.ico"]


def test_bad_icon_text_in_a_request_gives_the_failure_hint(mirelo, folder):
    mirelo.gezi = "no icon here!"
    mirelo.depot.set("人语→鸽语")
    assert mirelo.do_return("Hi") is None
    assert mirelo.out.get() == FAILURE_HINT
    assert leftovers(folder) == []


# --- Folders that cannot be written or are gone ------------------------------------

@pytest.mark.parametrize("place, kind", [
    ("under_file", NotADirectoryError), ("empty", FileNotFoundError), ("none", TypeError),
    ("number", TypeError), ("bytes", TypeError), ("nul", ValueError),
])
def test_icon_folder_that_cannot_be_used_fails_without_writing(mirelo, tmp_path, place, kind):
    blocker = tmp_path / "file"
    blocker.write_text("in the way")
    mirelo.program_temp = {"under_file": str(blocker / "Quenzariv2.2"), "empty": "",
                           "none": None, "number": 5, "bytes": os.fsencode(str(tmp_path)),
                           "nul": str(tmp_path) + "/a\0b"}[place]
    with pytest.raises(kind):
        mirelo.make_icon(mirelo.huaji, 1)
    assert sorted(os.listdir(tmp_path)) == ["file"]
    assert blocker.read_text() == "in the way"
    assert not os.path.exists("/1.ico")


def test_unusable_folder_in_a_request_gives_the_failure_hint(mirelo, tmp_path):
    blocker = tmp_path / "file"
    blocker.write_text("in the way")
    mirelo.program_temp = str(blocker / "Quenzariv2.2")
    mirelo.depot.set("人语→猫语")
    assert mirelo.do_return("Hi") is None
    assert mirelo.out.get() == FAILURE_HINT


def test_vanished_folder_is_made_again_for_the_next_request(mirelo, folder):
    mirelo.depot.set("人语→气泡语")
    assert mirelo.do_return("Hi") == "OooOooo0OOoOooO"
    mirelo.del_file(str(folder))
    assert not folder.exists()
    assert mirelo.do_return("Hi") == "OooOooo0OOoOooO"
    assert leftovers(folder) == ["2.ico"]


@pytest.mark.parametrize("path, kind", [
    (None, TypeError), (5, (TypeError, OSError)), ("", FileNotFoundError),
    ("missing", FileNotFoundError),
    ("a_file", NotADirectoryError), ("with\0nul", ValueError), (["x"], TypeError),
])
def test_del_file_with_a_bad_path_removes_nothing(mirelo, tmp_path, monkeypatch, path, kind):
    # None would list the current folder and 5 the open file number 5:
    # neither may cost a file.
    (tmp_path / "a_file").write_text("kept")
    (tmp_path / "sub").mkdir()
    (tmp_path / "sub" / "inner").write_text("kept")
    monkeypatch.chdir(tmp_path)
    with pytest.raises(kind):
        mirelo.del_file(path)
    assert sorted(os.listdir(tmp_path)) == ["a_file", "sub"]
    assert (tmp_path / "sub" / "inner").read_text() == "kept"


def test_del_file_takes_a_bytes_path(mirelo, tmp_path):
    target = tmp_path / "Quenzariv2.2"
    target.mkdir()
    (target / "1.ico").write_bytes(b"x")
    assert mirelo.del_file(os.fsencode(str(target))) is None
    assert not target.exists()
