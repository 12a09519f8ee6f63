"""Helpers shared by the engine tests: the plain-Python algorithm they compare
the module with, outcomes that compare results and exception kinds alike,
recorders for the names the engine calls, and the four languages."""

import json

from hypothesis import HealthCheck, settings
from hypothesis import strategies as st

from conftest import run_python

import plain_translation as reference

# Replayable runs, small enough that the engine tests take seconds. The
# `mirelo` fixture restores the namespace once per test, which is all these
# tests need from it.
ENGINE_SETTINGS = settings(
    derandomize=True,
    database=None,
    deadline=None,
    max_examples=100,
    suppress_health_check=[HealthCheck.function_scoped_fixture, HealthCheck.too_slow,
                           HealthCheck.data_too_large],
)


def outcome(function, *args, **kwargs):
    """("ok", result) or ("error", exception type): what a call came to."""
    try:
        return ("ok", function(*args, **kwargs))
    except Exception as error:  # every kind is part of the behaviour compared
        return ("error", type(error))


class CallRecorder:
    """Stands in for a module function: keeps its calls, answers with
    `answer(*args)` or raises `raises`; may write its name into a shared log."""

    def __init__(self, answer=None, raises=None, log=None, name="call"):
        self.calls = []
        self.answer = answer
        self.raises = raises
        self.log = log
        self.name = name

    def __call__(self, *args, **kwargs):
        self.calls.append((args, kwargs))
        if self.log is not None:
            self.log.append(self.name)
        if self.raises is not None:
            raise self.raises
        return self.answer(*args) if self.answer else None


class Watched:
    """An alphabet that notes every use in `log`."""

    def __init__(self, log):
        self.log = log

    def __len__(self):
        self.log.append("len")
        return 3

    def __getitem__(self, index):
        self.log.append("item")
        return "0"


class WatchedText(str):
    """A text that notes in `log` every use the engine could make of it."""

    def __iter__(self):
        self.log.append("iter")
        return str.__iter__(self)

    def replace(self, old, new):
        self.log.append("replace")
        return str.replace(self, old, new)

    def split(self):
        self.log.append("split")
        return str.split(self)


def watched_text(text, log):
    watched = WatchedText(text)
    watched.log = log
    return watched


class Shown:
    """An alphabet entry whose text is its str()."""

    def __init__(self, text):
        self.text = text

    def __str__(self):
        return self.text


class IconFailure(Exception):
    pass


def quiet_icon(module):
    """Replaces `run_icon`, whose window icon does not matter to a test."""
    recorder = CallRecorder(name="run_icon")
    module.run_icon = recorder
    return recorder


def encode(module, imput, value_list, numbers_list):
    return module.Translation_smooth(imput, value_list, numbers_list, "icon-text", 7)


def decode(module, imput, value_list, numbers_list):
    return module.Translation_disobey(imput, value_list, numbers_list, "icon-text", 7)


class Language:
    def __init__(self, name, encoding, decoding, hi):
        self.name = name
        self.encoding = encoding  # (value_list, numbers_list)
        self.decoding = decoding
        self.hi = hi  # the text Hi in this language


LANGUAGES = [
    Language("bubble", (["O", "o", "0"], [1, 0, " "]), (["0", "O", "o"], [" ", 1, 0]),
             "OooOooo0OOoOooO"),
    Language("pigeon", (["哩", "鸽", "咕", " "], [2, 1, 0, " "]),
             (["哩", "鸽", "咕", " "], [2, 1, 0, " "]), "哩哩咕咕 鸽咕哩哩咕"),
    Language("cat", (["喵喵喵！", "喵喵？", "喵", ","], [2, 0, 1, "喵呜~ "]),
             (["喵呜~", "喵喵喵！", "喵喵？", "喵"], ["", 2, 0, 1]),
             "喵喵喵！喵喵喵！喵喵？喵喵？ 喵喵喵？喵喵喵！喵喵喵！喵喵？"),
    Language("monkey", (["吱吱", "唧唧", " "], [1, 0, " "]), (["吱吱", "唧唧", " "], [1, 0, " "]),
             "吱吱唧唧唧唧吱吱唧唧唧唧唧唧 吱吱吱吱唧唧吱吱唧唧唧唧吱吱"),
]


# --- Random texts and alphabets ---------------------------------------------

NOTABLE_CODE_POINTS = [0, 9, 10, 13, 32, 48, 49, 0x85, 0xA0, 0x3000, 0xD7FF, 0xD800, 0xDBFF, 0xDC00,
                       0xDFFF, 0xE000, 0xFFFF, 0x10000, 0x1F600, 0x10FFFF]

code_points = st.one_of(
    st.integers(0, 0x10FFFF),
    st.integers(0x20, 0x7E),
    st.integers(0x4E00, 0x9FFF),
    st.sampled_from(NOTABLE_CODE_POINTS),
)

# Every code point, lone surrogates and U+0000 included.
texts = st.lists(code_points, max_size=24).map(lambda points: "".join(map(chr, points)))

SEPARATOR = " "
SHARED_CHARS = ["喵", "o", "~"]
KEY_CHARS = list("ABCDEFGHJKLMNPQRSTUVWXYZ哩鸽咕吱唧") + ["\U0001F34C", "\U0001F412"]
FILLER_CHARS = ["x", "y", "！", "-", "_", "\t", "\u3000", "\U0001F600"]
BLANKS = [" ", "\t", "\n", "\u3000", "\x1c", "\x85", "\u2028"]


def number_entry(draw, digit):
    return draw(st.sampled_from([digit, str(digit)]))


@st.composite
def valid_alphabets(draw):
    """An encoding alphabet and a decoding alphabet for it that meet the
    ordering rules, so that decoding returns exactly what was encoded.

    Each digit syllable holds a key character that no other syllable has,
    after a run of a shared character (such as the cat's 喵) and before some
    filler, which may hold digits and blanks that no later encoding pass
    replaces; at most one syllable is the shared character alone. The
    separator is such a syllable, a blank, a digit character, or the
    spaces are left as they are."""
    base = draw(st.integers(2, 10))
    order = draw(st.permutations(list(range(base)) + [SEPARATOR]))
    separator_at = order.index(SEPARATOR)
    kind = draw(st.sampled_from(["keyed", "blank", "digit", "unmatched"]))
    if kind == "digit" and separator_at == 0:
        kind = "keyed"
    separator_digit = draw(st.sampled_from(order[:separator_at])) if kind == "digit" else None
    shared = draw(st.sampled_from(SHARED_CHARS))
    keys = draw(st.permutations(KEY_CHARS))
    bare = draw(st.sampled_from([None] + list(range(base))))
    bare_length = draw(st.integers(1, 3))

    syllables = {}
    for index, entry in enumerate(order):
        if entry == SEPARATOR and kind != "keyed":
            syllables[entry] = {
                "blank": draw(st.sampled_from(BLANKS)),
                "digit": str(separator_digit),
                "unmatched": draw(st.sampled_from([",", "", "喵", "\t"])),
            }[kind]
            continue
        if entry == bare:
            syllables[entry] = shared * bare_length
            continue
        earlier = [str(e) for e in order[:index] if e != separator_digit]
        if kind == "unmatched":
            earlier.append(SEPARATOR)
        filler_alphabet = FILLER_CHARS + [shared] + earlier
        filler = draw(st.lists(st.sampled_from(filler_alphabet), max_size=3))
        syllables[entry] = (shared * draw(st.integers(0, 2)) + keys[index] + "".join(filler))

    encoding_numbers = [number_entry(draw, e) if e != SEPARATOR else SEPARATOR for e in order]
    if kind == "unmatched":
        separator_index = encoding_numbers.index(SEPARATOR)
        encoding_numbers[separator_index] = draw(st.sampled_from(["喵呜~ ", "<sep>"]))
    encoding = ([syllables[e] for e in order], encoding_numbers)

    keyed = [e for e in order if e != bare and (e != SEPARATOR or kind == "keyed")]
    keyed = draw(st.permutations(keyed))
    # A digit separator goes before any pass writes that digit; a blank one
    # after every syllable that may hold the blank.
    first = [SEPARATOR] if kind in ("digit", "unmatched") else []
    last = [SEPARATOR] if kind == "blank" else []
    decoding_order = first + list(keyed) + ([bare] if bare is not None else []) + last
    decoding_values, decoding_numbers = [], []
    for entry in decoding_order:
        if entry == SEPARATOR:
            value = syllables[entry] if kind != "unmatched" else shared + "呜~"
            number = draw(st.sampled_from(["", " "] if kind == "unmatched" else BLANKS))
        else:
            value, number = syllables[entry], number_entry(draw, entry)
        decoding_values.append(value)
        decoding_numbers.append(number)
    return encoding, (decoding_values, decoding_numbers)


class TextSubclass(str):
    """A str subclass: the engine must treat it as the interpreter would."""


def argument_forms(imput, value_list, numbers_list, encoding):
    """The same arguments as the plain lists and text, and in other types
    that the interpreter treats alike: (name, imput, value_list, numbers_list)."""
    yield "lists", imput, value_list, numbers_list
    yield "tuples", imput, tuple(value_list), tuple(numbers_list)
    yield "dicts", imput, dict(enumerate(value_list)), dict(enumerate(numbers_list))
    yield "str subclass", TextSubclass(imput), value_list, numbers_list
    if encoding:
        yield "characters", list(imput), value_list, numbers_list


# --- Calls that must end --------------------------------------------------------

# Each expression runs in a child interpreter under an alarm, and the child as
# a whole under a timeout, so that a call that loops shows as a failure
# instead of stopping the test run. `m` is the module there, with `run_icon`
# replaced by a function that does nothing.
BOUNDED_CHILD = """
import json, signal, tkinter
tkinter.Tk.mainloop = lambda self, n=0: None
import Mirelo_2_5 as module
module.run_icon = lambda icon, icon_num: None

class Hang(Exception):
    pass

def alarm(signum, frame):
    raise Hang()

signal.signal(signal.SIGALRM, alarm)
names = {"m": module, "nan": float("nan"), "inf": float("inf")}
results = []
for expression in json.loads(%r):
    signal.alarm(2)
    try:
        results.append(["ok", repr(eval(expression, names))])
    except Hang:
        results.append(["hang", ""])
    except Exception as error:
        results.append([type(error).__name__, str(error)])
    finally:
        signal.alarm(0)
print(json.dumps(results))
"""


def run_bounded(expressions, tmp_path):
    """{expression: [outcome kind, detail]} for each expression."""
    code = BOUNDED_CHILD % json.dumps(expressions)
    completed = run_python(code, timeout=3 * len(expressions) + 30, tmp_path=tmp_path)
    assert completed.returncode == 0, completed.stderr
    return dict(zip(expressions, json.loads(completed.stdout.strip().splitlines()[-1])))


def assert_value_errors(results):
    wrong = ["%s: %s" % (case, result) for case, result in results.items()
             if result[0] != "ValueError" or not result[1]]
    assert not wrong, "\n".join(wrong)


def one_entry_away(value_list, numbers_list):
    """Alphabets that differ from the given one in a single entry, or in the
    kind of container or entry only."""
    yield "the same", list(value_list), list(numbers_list)
    yield "tuples", tuple(value_list), tuple(numbers_list)
    yield "a digit as text", list(value_list), [str(n) for n in numbers_list]
    yield "another syllable", ["Q"] + list(value_list[1:]), list(numbers_list)
    yield "a longer syllable", [value_list[0] * 2] + list(value_list[1:]), list(numbers_list)
    yield "digits swapped", list(value_list), [numbers_list[1], numbers_list[0]] + \
        list(numbers_list[2:])
    yield "a two-digit entry", list(value_list), [10] + list(numbers_list[1:])
    yield "a str subclass", [TextSubclass(value_list[0])] + list(value_list[1:]), \
        list(numbers_list)
    yield "a bool", list(value_list), [True] + list(numbers_list[1:])
    yield "one entry short", list(value_list[:-1]), list(numbers_list)
