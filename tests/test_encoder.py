"""Translation_smooth: ordinary text into a joke language, compared with the
plain algorithm for random texts and alphabets, in ordinary and unusual
argument types; the names it calls; its edge cases."""

import functools
import random

import pytest
from hypothesis import assume, example, given
from hypothesis import strategies as st

from engine_support import (ENGINE_SETTINGS, LANGUAGES, CallRecorder, IconFailure, Shown,
                            TextSubclass, Watched, argument_forms, assert_value_errors, encode,
                            one_entry_away, outcome, quiet_icon, reference, run_bounded, texts,
                            valid_alphabets, watched_text)

WORKED = (["b", "a", "z"], [1, 0, " "])  # the made-up alphabet of base 2
PLAIN = (["0", "1", "|"], [0, 1, " "])  # digits kept, groups joined by "|"
PLAIN_3 = (["0", "1", "2", "|"], [0, 1, 2, " "])


def expected_encoding(imput, value_list, numbers_list):
    """The plain algorithm's outcome; where it would never end (a base of 1 or
    -1 and a character other than U+0000) the module raises ValueError.
    `imput` must be a text or a list here, so that it can be read twice."""
    base = len(numbers_list) - 1 if hasattr(numbers_list, "__len__") else None
    if base in (1, -1):
        for character in imput:
            code = outcome(ord, character)
            if code[0] == "error":
                return code
            if code[1] != 0:
                return ("error", ValueError)
    return outcome(reference.encode, imput, value_list, numbers_list)


def assert_agrees_in_every_form(module, imput, value_list, numbers_list):
    for form, *arguments in argument_forms(imput, value_list, numbers_list, encoding=True):
        got = outcome(encode, module, *arguments)
        assert got == expected_encoding(*arguments), form


# --- Agreement with the plain algorithm --------------------------------------

@ENGINE_SETTINGS
@given(text=texts, alphabets=valid_alphabets())
def test_valid_alphabets_agree_with_the_plain_algorithm(mirelo, text, alphabets):
    quiet_icon(mirelo)
    value_list, numbers_list = alphabets[0]
    assert encode(mirelo, text, value_list, numbers_list) == \
        reference.encode(text, value_list, numbers_list)


# Entries of numbers_list (their str() is the pattern) and syllables, drawn
# from characters that the joined digit groups contain, so that patterns
# match, overlap and meet the syllables of earlier passes.
number_entries = st.one_of(
    st.integers(0, 12), st.integers(-3, 3), st.sampled_from([2 ** 64, 10 ** 20]),
    st.text(alphabet="0123456789 a喵", max_size=3),
    st.sampled_from(["", " ", "喵呜~ ", "10", "1 0", "00", "0 "]),
    st.floats(allow_nan=True, allow_infinity=True),
)
syllables = st.text(alphabet=["0", "1", "2", "9", " ", "a", "A", "喵", "\t", "\U0001F600", "\x00"],
                    max_size=3)


# Mostly as long as numbers_list, now and then too short.
SHORTFALL = st.one_of(st.just(0), st.just(0), st.just(0), st.sampled_from([1, 2, -1]))


@st.composite
def random_alphabets(draw):
    size = draw(st.one_of(st.integers(3, 9), st.integers(3, 9), st.integers(0, 2)))
    numbers_list = draw(st.lists(number_entries, min_size=size, max_size=size))
    # Empty patterns multiply the text's length at every pass.
    assume(sum(str(entry) == "" for entry in numbers_list) <= 2)
    # Now and then too short, which fails once the passes reach the end.
    size = len(numbers_list) - draw(SHORTFALL)
    value_list = draw(st.lists(syllables, min_size=max(0, size), max_size=max(0, size)))
    return value_list, numbers_list


@ENGINE_SETTINGS
@given(text=texts, alphabet=random_alphabets())
@example(text="", alphabet=(["z", "a"], ["", 0]))
@example(text="Hi", alphabet=(["b", "a"], [1, 0, " "]))
@example(text="\x00\x00", alphabet=(["a", "b"], [0, " "]))
@example(text="\x00", alphabet=([], []))
@example(text="Hi", alphabet=(["a"], [0]))
def test_any_alphabet_agrees_with_the_plain_algorithm(mirelo, text, alphabet):
    quiet_icon(mirelo)
    assert_agrees_in_every_form(mirelo, text, *alphabet)


@st.composite
def large_base_alphabets(draw):
    """Bases above 10: a digit worth 10 or more has a pattern of two or more
    characters, which earlier single-digit passes may break apart."""
    base = draw(st.integers(11, 40))
    numbers_list = draw(st.permutations(list(range(base)) + [" "]))
    numbers_list = [draw(st.sampled_from([entry, str(entry)])) for entry in numbers_list]
    value_list = draw(st.lists(syllables, min_size=base + 1, max_size=base + 1))
    return value_list, numbers_list


@ENGINE_SETTINGS
@given(text=texts, alphabet=large_base_alphabets())
def test_bases_above_ten_agree_with_the_plain_algorithm(mirelo, text, alphabet):
    quiet_icon(mirelo)
    assert_agrees_in_every_form(mirelo, text, *alphabet)


# --- Unusual argument types ------------------------------------------------------

class Backwards(str):
    """A text whose iteration the interpreter would use: it runs backwards."""

    def __iter__(self):
        return iter(str(self)[::-1])


class BadStr:
    def __init__(self, raises=None, gives=None):
        self.raises, self.gives = raises, gives

    def __str__(self):
        if self.raises:
            raise self.raises
        return self.gives


class SwappedList(list):
    """A list whose items are looked up through an override."""

    def __getitem__(self, index):
        return list.__getitem__(self, len(self) - 1 - index)


class Characters:
    """An iterable of characters that is not a sequence."""

    def __init__(self, items):
        self.items = items

    def __iter__(self):
        return iter(self.items)

    def __repr__(self):
        return "Characters(%r)" % (self.items,)


@pytest.mark.parametrize("imput", [
    list("Hi\x00\ud800"), ("H", "i"), [TextSubclass("H")], [b"H", b"i"], [bytearray(b"\xff")],
    [b"H", "i", bytearray(b"!")], b"Hi", b"", bytearray(b"A"), [], ["Hi"], [""], [b""], [b"ab"],
    [72], [None], [memoryview(b"a")], TextSubclass("Hi \x00"), Backwards("Hi!"),
    Characters("\U0010FFFF\x00"), Characters([b"a", 5]), 5, None,
], ids=repr)
def test_unusual_texts_agree_with_the_plain_algorithm(mirelo, imput):
    quiet_icon(mirelo)
    assert outcome(encode, mirelo, imput, *PLAIN_3) == outcome(reference.encode, imput, *PLAIN_3)


def test_a_text_that_can_be_read_once(mirelo):
    quiet_icon(mirelo)
    assert encode(mirelo, (c for c in "Hi"), *WORKED) == "baabaaazbbabaab"


@pytest.mark.parametrize("value_list, numbers_list", [
    (("b", "a", "z"), (1, 0, " ")),
    ({0: "b", 1: "a", 2: "z"}, {0: 1, 1: 0, 2: " "}),
    ({2: "z", 0: "b", 1: "a"}, [1, 0, " "]),
    ("baz", "10 "),
    (["b", "a", "z"], "01 "),
    ("xy", range(2)),
    (["x", "y", "z"], range(3)),
    (["b", "a", "z"], [1.0, 0.0, " "]),
    (["b", "a", "z"], [True, False, " "]),
    (["b", "a", "z"], [Shown("1"), Shown("0"), Shown(" ")]),
    (["b", "a", "z"], [Shown("10"), Shown(""), Shown(" ")]),
    (["b", "a", "z"], [BadStr(raises=KeyError("x")), 0, " "]),
    (["b", "a", "z"], [BadStr(gives=5), 0, " "]),
    (["b", "a", "z"], [1, BadStr(gives=TextSubclass("0")), " "]),
    ([TextSubclass("b"), "a", "z"], [1, 0, " "]),
    ([1, "a", "z"], [1, 0, " "]),
    (["b", b"a", "z"], [1, 0, " "]),
    (["b", "a", None], [1, 0, " "]),
    (["b", "a"], [1, 0, " "]),
    ([], [1, 0, " "]),
    ({0: "b", 1: "a"}, [1, 0, " "]),
    (["b", "a", "z", "never", "used"], [1, 0, " "]),
    (SwappedList(["z", "a", "b"]), SwappedList([" ", 0, 1])),
    (["b", "a", "z"], SwappedList([" ", 0, 1])),
    (["b", "a", "z"], 5),
    (["b", "a", "z"], None),
    (["b", "a", "z"], iter([1, 0, " "])),
    (None, [1, 0, " "]),
], ids=repr)
def test_unusual_alphabets_agree_with_the_plain_algorithm(mirelo, value_list, numbers_list):
    quiet_icon(mirelo)
    for text in ["Hi", ""]:
        assert outcome(encode, mirelo, text, value_list, numbers_list) == \
            expected_encoding(text, value_list, numbers_list)


# --- The names the encoder calls ---------------------------------------------

def test_run_icon_is_called_first_once_with_icon_and_number(mirelo):
    log = []
    mirelo.run_icon = CallRecorder(log=log, name="run_icon")
    own = mirelo.changeover
    mirelo.changeover = CallRecorder(answer=own, log=log, name="changeover")
    icon, number = object(), object()
    assert mirelo.Translation_smooth("Hi", *WORKED, icon, number) == "baabaaazbbabaab"
    assert mirelo.Translation_smooth(icon_num=number, icon=icon, imput="", value_list=WORKED[0],
                                     numbers_list=WORKED[1]) == ""
    assert log == ["run_icon", "changeover", "changeover", "run_icon"]
    assert mirelo.run_icon.calls == [((icon, number), {})] * 2
    assert mirelo.run_icon.calls[0][0][0] is icon and mirelo.run_icon.calls[0][0][1] is number


@pytest.mark.parametrize("imput, value_list, numbers_list", [
    ("Hi", [1, "a", "z"], [1, 0, " "]),
    ("Hi", ["b"], [1, 0, " "]),
    ("Hi", WORKED[0], 5),
    ("Hi", WORKED[0], [1]),
    (b"Hi", *WORKED),
    ([b"ab"], *WORKED),
])
def test_run_icon_is_called_before_a_failure(mirelo, imput, value_list, numbers_list):
    recorder = quiet_icon(mirelo)
    with pytest.raises(Exception):
        encode(mirelo, imput, value_list, numbers_list)
    assert recorder.calls == [(("icon-text", 7), {})]


def test_a_failing_run_icon_stops_everything(mirelo):
    log = []
    mirelo.run_icon = CallRecorder(raises=IconFailure(), log=log, name="run_icon")
    mirelo.changeover = CallRecorder(log=log, name="changeover")
    with pytest.raises(IconFailure):
        encode(mirelo, watched_text("Hi", log), Watched(log), Watched(log))
    assert log == ["run_icon"]


def test_a_missing_run_icon_is_a_name_error(mirelo):
    del mirelo.run_icon
    log = []
    with pytest.raises(NameError):
        encode(mirelo, "Hi", Watched(log), Watched(log))
    assert log == []


def test_changeover_is_looked_up_for_every_character(mirelo):
    quiet_icon(mirelo)
    text = "Hi\x00 \ud800\U0010FFFF"
    recorder = CallRecorder(answer=lambda num, base: "<%d/%d>" % (num, base))
    mirelo.changeover = recorder
    got = encode(mirelo, text, *PLAIN_3)
    assert recorder.calls == [((ord(c), 3), {}) for c in text]
    assert got == "<72/3>|<105/3>|<0/3>|<32/3>|<55296/3>|<1114111/3>"


def test_results_of_a_rebound_changeover_go_through_format(mirelo, monkeypatch):
    quiet_icon(mirelo)

    class Digits:
        def __format__(self, wanted):
            return "2" + wanted + "1"

    for answer in [lambda num, base: num, lambda num, base: Digits(),
                   lambda num, base: 1.5, lambda num, base: TextSubclass("21")]:
        recorder = CallRecorder(answer=answer)
        mirelo.changeover = recorder
        monkeypatch.setattr(reference, "changeover", recorder)
        assert outcome(encode, mirelo, "AB", *PLAIN_3) == \
            outcome(reference.encode, "AB", *PLAIN_3)
        assert len(recorder.calls) == 4


def test_a_failing_or_missing_changeover_stops_the_encoding(mirelo):
    icon = quiet_icon(mirelo)
    mirelo.changeover = CallRecorder(raises=LookupError("no digits"))
    with pytest.raises(LookupError):
        encode(mirelo, "Hi", *PLAIN)
    del mirelo.changeover
    with pytest.raises(NameError):
        encode(mirelo, "Hi", *PLAIN)
    assert encode(mirelo, "", *PLAIN) == ""
    assert len(icon.calls) == 3


# --- Edge cases ---------------------------------------------------------------

def test_worked_example(mirelo):
    quiet_icon(mirelo)
    assert encode(mirelo, "Hi", *WORKED) == "baabaaazbbabaab"


@pytest.mark.parametrize("language", LANGUAGES, ids=lambda language: language.name)
def test_hi_in_each_language(mirelo, language):
    quiet_icon(mirelo)
    assert encode(mirelo, "Hi", *language.encoding) == language.hi


@pytest.mark.parametrize("text, base_2, base_3", [
    ("", "", ""),
    ("A", "1000001", "2102"),
    (" ", "100000", "1012"),
    ("  ", "100000|100000", "1012|1012"),
    ("0", "110000", "1210"),
    ("\x00", "0", "0"),
    ("\U0010FFFF", "100001111111111111111", "2002121021101"),
    ("\ud800\udc00", "1101100000000000|1101110000000000", "2210212000|2212020221"),
])
def test_digit_groups(mirelo, text, base_2, base_3):
    quiet_icon(mirelo)
    assert encode(mirelo, text, *PLAIN) == base_2
    assert encode(mirelo, text, *PLAIN_3) == base_3


@ENGINE_SETTINGS
@given(text=texts)
def test_separator_syllable_stands_between_groups(mirelo, text):
    quiet_icon(mirelo)
    joined = encode(mirelo, text, ["a", "b", "|"], [0, 1, " "])
    assert " " not in joined and joined.count("|") == max(len(text) - 1, 0)
    kept = encode(mirelo, text, ["a", "b", " "], [0, 1, " "])
    assert kept.split(" ") == joined.split("|")
    unmatched = encode(mirelo, text, ["a", "b", "|"], [0, 1, "喵呜~ "])
    assert unmatched == kept


def test_empty_pattern_inserts_its_syllable_everywhere(mirelo):
    quiet_icon(mirelo)
    assert encode(mirelo, "", ["z", "a"], [0, ""]) == "a"
    assert encode(mirelo, "A", ["<", ">", "-"], [1, 0, ""]) == "-<->->->->->-<-"


# --- Results larger than the caches ---------------------------------------------

@functools.lru_cache(maxsize=1)
def long_mixed_text():
    rnd = random.Random(5)
    alphabet = [chr(c) for c in range(0x20, 0x7F)] + \
        [chr(0x4E00 + rnd.randrange(0x5000)) for _ in range(2000)]
    return "".join(rnd.choices(alphabet, k=2_500_000))


@pytest.mark.parametrize("value_list, numbers_list, width", [
    (["O", "o", "0"], [1, 0, " "], 1),
    (["吱吱", "唧唧", " "], [1, 0, " "], 2),
    (["\U0001F600", "a", "-"], [1, 0, " "], 4),
], ids=["1-byte", "2-byte", "4-byte"])
def test_results_of_tens_of_megabytes_are_whole(mirelo, value_list, numbers_list, width):
    # Results this large are written another way than small ones.
    quiet_icon(mirelo)
    text = long_mixed_text()
    each = {c: reference.encode(c, value_list, numbers_list) for c in set(text)}
    separator = value_list[numbers_list.index(" ")]
    result = encode(mirelo, text, value_list, numbers_list)
    assert len(result) * width > 32 << 20
    assert result == separator.join(each[c] for c in text)


# --- Bases below 2 ---------------------------------------------------------------

@pytest.mark.parametrize("imput, value_list, numbers_list", [
    ("\x00", ["a", "b"], [0, " "]),
    ("\x00\x00", ["a", "b"], [0, " "]),
    ("\x00", [], []),
    ("\x00\x00", [], []),
    ("", ["a", "b"], [0, " "]),
    ("", [], []),
    ("A", ["a"], [0]),
    ("", ["a"], [0]),
])
def test_bases_below_two_that_end_agree_with_the_plain_algorithm(mirelo, imput, value_list,
                                                                  numbers_list):
    quiet_icon(mirelo)
    assert outcome(encode, mirelo, imput, value_list, numbers_list) == \
        expected_encoding(imput, value_list, numbers_list)


# The plain loop never ends for a character other than U+0000 in base 1 or -1.
ENDLESS_BASES = [
    "m.Translation_smooth('A', ['a', 'b'], [0, ' '], 'icon', 1)",
    "m.Translation_smooth('\\x00A', ['a', 'b'], [0, ' '], 'icon', 1)",
    "m.Translation_smooth('\\U0010FFFF', ['a', 'b'], '0 ', 'icon', 1)",
    "m.Translation_smooth('A', [], [], 'icon', 1)",
    "m.Translation_smooth('\\x00\\ud800', (), (), 'icon', 1)",
    "m.Translation_smooth(['A'], ['a', 'b'], [0, ' '], 'icon', 1)",
    "m.Translation_smooth('A', {0: 'a', 1: 'b'}, {0: 0, 1: ' '}, 'icon', 1)",
    "m.Translation_smooth([b'A'], [], [], 'icon', 1)",
]


def test_bases_one_and_minus_one_raise_value_error_instead_of_hanging(tmp_path):
    assert_value_errors(run_bounded(ENDLESS_BASES, tmp_path))


# --- Alphabets like the one before ---------------------------------------------

def test_calls_alternating_with_a_nearly_equal_alphabet_agree(mirelo):
    # Engines are kept per alphabet between calls: none may stand in for a
    # different one.
    quiet_icon(mirelo)
    text = "Hi, 你好\n\x00\U0001F600"
    for language in LANGUAGES:
        value_list, numbers_list = language.encoding
        for form, values, numbers in one_entry_away(value_list, numbers_list):
            for alphabet in ((value_list, numbers_list), (values, numbers)) * 2:
                assert outcome(encode, mirelo, text, *alphabet) == \
                    expected_encoding(text, *alphabet), (language.name, form)


def test_a_list_changed_between_calls_is_read_again(mirelo):
    quiet_icon(mirelo)
    value_list, numbers_list = ["O", "o", "0"], [1, 0, " "]
    before = encode(mirelo, "Hi", value_list, numbers_list)
    value_list[0] = "X"
    numbers_list[2] = "  "
    assert encode(mirelo, "Hi", value_list, numbers_list) == \
        reference.encode("Hi", value_list, numbers_list) != before
