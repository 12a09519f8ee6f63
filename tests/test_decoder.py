"""Translation_disobey: a joke language back into ordinary text. Round trips
through the encoder, agreement with the plain algorithm for random texts,
alphabets and argument types, the whitespace that separates groups, the
syntax and size of a group, the names it calls, and large texts."""

import functools
import random
import sys
import unicodedata

import pytest
from hypothesis import assume, example, given
from hypothesis import strategies as st

from engine_support import (ENGINE_SETTINGS, LANGUAGES, CallRecorder, IconFailure, Language, Shown,
                            TextSubclass, Watched, argument_forms, decode, encode, one_entry_away,
                            outcome, quiet_icon, reference, texts, valid_alphabets, watched_text)

WORKED = (["0", "b", "a"], [" ", 1, 0])  # decoding alphabet with the separator "0" first
WRONG_ORDER = (["b", "a", "0"], [1, 0, " "])  # the same entries in encoding order
PLAIN_ORDER = (["z", "b", "a"], [" ", 1, 0])


def never(base):
    """An alphabet of `base` + 1 entries whose syllables never occur, so that
    the text goes to the split and the reading of groups unchanged."""
    return ["§"] * (base + 1), [" "] * (base + 1)


def assert_agrees_in_every_form(module, imput, value_list, numbers_list):
    for form, *arguments in argument_forms(imput, value_list, numbers_list, encoding=False):
        assert outcome(decode, module, *arguments) == outcome(reference.decode, *arguments), form


# --- Round trips --------------------------------------------------------------

@ENGINE_SETTINGS
@given(text=texts, alphabets=valid_alphabets())
@example(text="Hi", alphabets=((["b", "a", "0"], [1, 0, " "]), WORKED))
def test_decoding_returns_the_encoded_text(mirelo, text, alphabets):
    quiet_icon(mirelo)
    encoding, decoding = alphabets
    encoded = encode(mirelo, text, *encoding)
    assert decode(mirelo, encoded, *decoding) == text
    assert_agrees_in_every_form(mirelo, encoded, *decoding)


@ENGINE_SETTINGS
@given(text=texts)
def test_every_language_round_trips(mirelo, text):
    quiet_icon(mirelo)
    for language in LANGUAGES:
        encoded = encode(mirelo, text, *language.encoding)
        assert decode(mirelo, encoded, *language.decoding) == text, language.name


@pytest.mark.parametrize("language", LANGUAGES, ids=lambda language: language.name)
def test_hi_in_each_language(mirelo, language):
    quiet_icon(mirelo)
    assert decode(mirelo, language.hi, *language.decoding) == "Hi"


def mixed_text(size, seed):
    """CJK and ASCII text with some astral characters, blanks, U+0000 and
    lone surrogates."""
    rng = random.Random(seed)
    pool = [chr(c) for c in range(0x20, 0x7F)] * 8
    pool += [chr(rng.randrange(0x4E00, 0xA000)) for _ in range(600)]
    pool += [chr(rng.randrange(0x10000, 0x110000)) for _ in range(20)]
    pool += ["\x00", "\ud800", "\udfff", "\n", "\t", "\u3000", "，", "。"]
    return "".join(rng.choices(pool, k=size))


@pytest.mark.parametrize("language", LANGUAGES, ids=lambda language: language.name)
def test_a_megabyte_round_trips(mirelo, language, monkeypatch):
    quiet_icon(mirelo)
    # The plain algorithm converts each distinct character once here, so that
    # it encodes a megabyte in about a second.
    monkeypatch.setattr(reference, "changeover",
                        functools.lru_cache(maxsize=None)(reference.changeover))
    text = mixed_text(1 << 20, seed=len(language.name))
    encoded = encode(mirelo, text, *language.encoding)
    assert encoded == reference.encode(text, *language.encoding)
    assert decode(mirelo, encoded, *language.decoding) == text


# The widest character of each kind of string, early, late or alone, in texts
# long enough that the result grows several times while it is built.
@pytest.mark.parametrize("widest", ["a", "\xe9", "\u4e2d", "\U0001f600"])
@pytest.mark.parametrize("at", [0, 700, 1499])
@pytest.mark.parametrize("length", [1, 1500])
def test_results_are_ordinary_strings_of_the_narrowest_kind(mirelo, widest, at, length):
    quiet_icon(mirelo)
    text = "".join(widest if i == at else chr(0x20 + i % 90) for i in range(length))
    text = text if at < length else widest
    for language in LANGUAGES:
        decoded = decode(mirelo, encode(mirelo, text, *language.encoding), *language.decoding)
        # Equal strings of different kinds never compare equal.
        assert decoded == text and hash(decoded) == hash(text), language.name
        assert decoded.isascii() == text.isascii()
        if length > 1:
            # No slack left over: the size of a fresh string of the same text.
            assert sys.getsizeof(decoded) == sys.getsizeof(text[:1] + text[1:]), language.name


# --- Agreement with the plain algorithm for any text and alphabet -------------

# Characters that digit groups, their syntax, blanks and syllables are made of.
DECODER_CHARACTERS = (list("0123456789") + [" ", "\t", "\n", "\u3000", "\x85", "\u2028", "\x1c"]
                      + list("+-_bBoOxXafzZ") + ["０", "１", "٣", "\U0001D7CF", "²", "喵", "呜",
                                                 "~", "！", "\x00", "\ud800"])
nonempty_syllables = st.lists(
    st.sampled_from(DECODER_CHARACTERS[:14] + ["喵", "呜", "~", "b", "_", "-"]),
    min_size=1, max_size=3).map("".join)
syllables = st.one_of(nonempty_syllables, nonempty_syllables, nonempty_syllables, st.just(""))
JUNK_NUMBER_ENTRIES = st.one_of(
    st.integers(-2, 12), st.just(2 ** 70), st.floats(allow_nan=True, allow_infinity=True),
    st.sampled_from(["", "0", "10", "-", "_", "0b", "+", "喵"]),
)
# Mostly as long as numbers_list, now and then too short.
SHORTFALL = st.one_of(st.just(0), st.just(0), st.just(0), st.sampled_from([1, 2, -1]))


@st.composite
def random_alphabets(draw):
    """Decoding alphabets of any size and content."""
    size = draw(st.one_of(st.integers(0, 11), st.integers(12, 41)))
    digit = st.integers(0, max(size - 2, 0))
    entry = st.one_of(digit, digit.map(str), st.sampled_from([" ", "\t", "\u3000"]),
                      JUNK_NUMBER_ENTRIES)
    numbers_list = draw(st.lists(entry, min_size=size, max_size=size))
    size -= draw(SHORTFALL)
    value_list = draw(st.lists(syllables, min_size=max(size, 0), max_size=max(size, 0)))
    # Empty syllables multiply the text's length at every pass.
    assume(sum(value == "" for value in value_list[:len(numbers_list)]) <= 2)
    return value_list, numbers_list


@st.composite
def nearly_valid_alphabets(draw):
    """The digits of a base from 2 to 10 and a blank or empty entry, in any
    order, for syllables that may break the ordering rules; one entry may be
    something else."""
    base = draw(st.integers(2, 10))
    numbers_list = [draw(st.sampled_from([digit, str(digit)])) for digit in range(base)]
    numbers_list.append(draw(st.sampled_from([" ", "\t", "\n", "\u3000", ""])))
    numbers_list = draw(st.permutations(numbers_list))
    if draw(st.booleans()):
        numbers_list[draw(st.integers(0, base))] = draw(JUNK_NUMBER_ENTRIES)
    value_list = draw(st.lists(nonempty_syllables, min_size=base + 1, max_size=base + 1))
    return value_list, numbers_list


@st.composite
def decoder_cases(draw):
    """An alphabet and a text made mostly of its syllables, digits of its
    base and blanks, with other characters now and then."""
    value_list, numbers_list = draw(st.one_of(nearly_valid_alphabets(), random_alphabets()))
    base = len(numbers_list) - 1
    digits = st.sampled_from([str(digit) for digit in range(max(1, min(base, 10)))])
    blanks = st.sampled_from([" ", " ", "\t", "\u3000", "\x85"])
    own = st.sampled_from([value for value in value_list if value] or ["喵"])
    other = st.sampled_from(DECODER_CHARACTERS)
    tokens = st.lists(st.one_of(own, digits, blanks, own, digits, blanks, other), min_size=1,
                      max_size=12)
    return "".join(draw(tokens)), value_list, numbers_list


@ENGINE_SETTINGS
@given(case=decoder_cases())
@example(case=("", ["", "a"], ["x", 1]))
@example(case=("1 0", [], []))
@example(case=("0x41 65", ["§"], [" "]))
@example(case=("１０ 1\u3000-1_0", ["§", "§", "§"], [" ", " ", " "]))
def test_any_text_and_alphabet_agree_with_the_plain_algorithm(mirelo, case):
    quiet_icon(mirelo)
    assert_agrees_in_every_form(mirelo, *case)


@ENGINE_SETTINGS
@given(text=texts, alphabets=valid_alphabets(), noise=st.lists(
    st.tuples(st.integers(0, 10 ** 6), st.sampled_from(DECODER_CHARACTERS)), max_size=3))
def test_damaged_language_text_agrees_with_the_plain_algorithm(mirelo, text, alphabets, noise):
    quiet_icon(mirelo)
    encoding, decoding = alphabets
    encoded = encode(mirelo, text, *encoding)
    for position, character in noise:
        position %= len(encoded) + 1
        encoded = encoded[:position] + character + encoded[position:]
    assert outcome(decode, mirelo, encoded, *decoding) == \
        outcome(reference.decode, encoded, *decoding)


# --- Unusual argument types ------------------------------------------------------

class OwnMethods(str):
    """A text with replace and split of its own, which the interpreter would
    call: split is reached only when there is no pass before it."""

    def replace(self, old, new):
        return TextSubclass(str.replace(self, old, new) + " 1")

    def split(self):
        return []


@pytest.mark.parametrize("imput, value_list, numbers_list", [
    (OwnMethods("ba"), ["b", "a", "0"], [1, 0, " "]),
    (OwnMethods("ba"), [], []),
    (TextSubclass("ba0ab"), *WORKED),
    (["ba"], *WORKED),
    (b"ba", *WORKED),
    (None, *WORKED),
    ("baabaaa0bbabaab", ("0", "b", "a"), (" ", 1, 0)),
    ("baabaaa0bbabaab", {0: "0", 1: "b", 2: "a"}, {2: 0, 0: " ", 1: 1}),
    ("baabaaa0bbabaab", "0ba", " 10"),
    ("baabaaa0bbabaab", "0ba", range(3)),
    ("baabaaa0bbabaab", ["0", "b", "a"], [" ", 1.0, 0.0]),
    ("baabaaa0bbabaab", ["0", "b", "a"], [" ", True, False]),
    ("baabaaa0bbabaab", ["0", "b", "a"], [Shown(" "), Shown("1"), Shown("0")]),
    ("baabaaa0bbabaab", ["0", "b", "a"], [Shown(" "), Shown("1"), Shown("")]),
    ("baabaaa0bbabaab", ["0", "b", "a"], [" ", 1, TextSubclass("0")]),
    ("baabaaa0bbabaab", [TextSubclass("0"), "b", "a"], [" ", 1, 0]),
    ("baabaaa0bbabaab", ["0", 1, "a"], [" ", 1, 0]),
    ("baabaaa0bbabaab", ["0", "b", b"a"], [" ", 1, 0]),
    ("baabaaa0bbabaab", ["0", "b"], [" ", 1, 0]),
    ("baabaaa0bbabaab", {0: "0", 1: "b"}, [" ", 1, 0]),
    ("baabaaa0bbabaab", ["0", "b", "a", "unused"], [" ", 1, 0]),
    ("baabaaa0bbabaab", ["0", "b", "a"], 7),
    ("baabaaa0bbabaab", ["0", "b", "a"], iter([" ", 1, 0])),
    ("baabaaa0bbabaab", None, [" ", 1, 0]),
], ids=repr)
def test_unusual_arguments_agree_with_the_plain_algorithm(mirelo, imput, value_list,
                                                          numbers_list):
    quiet_icon(mirelo)
    assert outcome(decode, mirelo, imput, value_list, numbers_list) == \
        outcome(reference.decode, imput, value_list, numbers_list)


# --- Whitespace between groups ------------------------------------------------

WHITESPACE = [chr(c) for c in range(sys.maxunicode + 1) if chr(c).isspace()]


def test_whitespace_is_what_split_cuts_at():
    # The interpreter's notion, which the decoder must follow: 29 characters.
    assert len(WHITESPACE) == 29
    assert all(("a%sb" % blank).split() == ["a", "b"] for blank in WHITESPACE)


@pytest.mark.parametrize("blank", WHITESPACE, ids=lambda blank: "U+%04X" % ord(blank))
def test_each_whitespace_character_separates_groups(mirelo, blank):
    quiet_icon(mirelo)
    for text in ["baabaaa%sbbabaab", "%sbaabaaa%s%sbbabaab%s", "baabaaa%s0bbabaab"]:
        text = text.replace("%s", blank)
        assert decode(mirelo, text, *WORKED) == "Hi"
    assert decode(mirelo, blank * 3, *WORKED) == ""


def test_all_whitespace_in_one_text(mirelo):
    quiet_icon(mirelo)
    text = "".join(WHITESPACE) + "1".join(WHITESPACE) + "10" + "".join(reversed(WHITESPACE))
    assert decode(mirelo, text, *never(2)) == "\x01" * 28 + "\x02"


# Characters near the whitespace: controls, the other separators and format
# characters such as U+200B, U+180E and U+FEFF, which split() does not cut at.
NEAR_WHITESPACE = sorted(
    set(range(0x3100))
    | set(range(0x2000, 0x2070)) | {0x180E, 0xFEFF, 0xFFFE, 0xFFFF, 0xE0020, 0x1D7CE}
)


def test_other_characters_do_not_separate_groups(mirelo):
    quiet_icon(mirelo)
    alphabet = never(10)
    differing = []
    for code in NEAR_WHITESPACE:
        text = "7" + chr(code) + "2"
        if outcome(decode, mirelo, text, *alphabet) != outcome(reference.decode, text, *alphabet):
            differing.append("U+%04X" % code)
    assert differing == []


# --- The syntax and size of a group -----------------------------------------------

GROUPS = [
    "1001000", "+1001000", "-0", "+0", "-1", "--1", "+-1", "-", "+", "_", "1_0", "_1", "1_",
    "1__0", "0b1001000", "0B1001000", "0b_1001000", "0b", "0b_", "0x48", "0o110", "0x_48",
    "１００１０００", "١٠٠١٠٠٠", "\U0001D7CF\U0001D7CE", "1０0", "²", "ⅰ", "꘠", "٣", "12",
    "0" * 30, "00", "ff", "FF", "0xff", "-0x1", "z", "Z", "65", "065", "0_0", "0o101",
    "0b1000001", "0X41", " 7", "\u3000+7\u3000", "+ 7", "7\x00", "1\ud800",
]
BASES = [-1, 0, 1, 2, 3, 8, 10, 16, 36, 37]


@pytest.mark.parametrize("base", BASES)
@pytest.mark.parametrize("group", GROUPS, ids=ascii)
def test_group_syntax_agrees_with_the_plain_algorithm(mirelo, group, base):
    quiet_icon(mirelo)
    alphabet = never(base) if base >= 0 else ([], [])
    for text in [group, "1 " + group, group + "\t11"]:
        assert outcome(decode, mirelo, text, *alphabet) == \
            outcome(reference.decode, text, *alphabet)


@pytest.mark.parametrize("group", [
    "1" * 21, "1" * 31, "1" + "0" * 31, "1" * 32, "1" * 63, "1" * 64, "1" + "0" * 64, "1" * 200,
    "-" + "1" * 40, "-" + "1" * 100, "100001111111111111111", "100010000000000000000",
    "0" * 599 + "1", "0" * 600 + "1", "0" * 601 + "1", "0" * 4299 + "1", "0" * 4300 + "1",
    "1" + "0" * 4999, "0" * 4999 + "1", "2" * 5000, "_".join("1" * 2500), "0" * 20000 + "1",
    "0" * 20000 + "1" * 30,
], ids=lambda group: "%s...(%d)" % (group[:8], len(group)))
@pytest.mark.parametrize("base", [2, 3, 10, 16, 36])
def test_large_groups_agree_with_the_plain_algorithm(mirelo, group, base):
    quiet_icon(mirelo)
    for text in [group, "1 " + group]:
        assert outcome(decode, mirelo, text, *never(base)) == \
            outcome(reference.decode, text, *never(base))


# Every decimal digit of the interpreter's Unicode data, and every code point
# that data leaves unassigned in the planes where digits live (a later Unicode
# version may make some of them digits; the interpreter that runs decides).
DIGIT_CANDIDATES = [chr(code) for code in range(0x20000)
                    if chr(code).isdecimal() or unicodedata.category(chr(code)) == "Cn"]


def test_only_the_interpreters_decimal_digits_are_read(mirelo):
    quiet_icon(mirelo)
    alphabet = never(10)
    differing = []
    for character in DIGIT_CANDIDATES:
        got = outcome(decode, mirelo, character, *alphabet)
        if character.isdecimal():
            expected = outcome(reference.decode, character, *alphabet)
        else:
            expected = ("error", ValueError)
        if got != expected:
            differing.append("U+%04X" % ord(character))
    assert differing == []
    digits = "".join(character for character in DIGIT_CANDIDATES if character.isdecimal())
    assert decode(mirelo, "1" + " 1".join(digits), *alphabet) == \
        reference.decode("1" + " 1".join(digits), *alphabet)


def test_group_values_beyond_the_last_code_point(mirelo):
    quiet_icon(mirelo)
    assert decode(mirelo, "100001111111111111111", *never(2)) == "\U0010FFFF"
    # chr() of the running interpreter decides between ValueError and, beyond
    # the C int range on some versions, OverflowError.
    for group in ["100010000000000000000", "1" * 31, "1" + "0" * 31, "1" + "0" * 40, "-1",
                  "-" + "1" * 40]:
        got = outcome(decode, mirelo, group, *never(2))
        assert got[0] == "error" and got == outcome(reference.decode, group, *never(2)), group


@pytest.mark.skipif(not hasattr(sys, "set_int_max_str_digits"),
                    reason="this interpreter has no cap on the digits of a number")
@pytest.mark.parametrize("cap", [0, 640, 5000])
def test_the_interpreter_digit_cap_in_force_applies(mirelo, cap):
    quiet_icon(mirelo)
    before = sys.get_int_max_str_digits()
    sys.set_int_max_str_digits(cap)
    try:
        for group in ["0" * 700 + "1", "0" * 4999 + "1", "0" * 5000 + "2"]:
            assert outcome(decode, mirelo, group, *never(3)) == \
                outcome(reference.decode, group, *never(3))
        assert outcome(decode, mirelo, "0" * 4999 + "1", *never(3))[0] == \
            ("ok" if cap in (0, 5000) else "error")
    finally:
        sys.set_int_max_str_digits(before)


# --- Worked examples and edge cases -----------------------------------------------

def test_worked_example(mirelo):
    quiet_icon(mirelo)
    assert decode(mirelo, "baabaaa0bbabaab", *WORKED) == "Hi"
    assert decode(mirelo, "baabaaa0bbabaab", *WRONG_ORDER) == "\x01\x01\x03\x01\x01"


def test_blanks_around_and_between_groups_change_nothing(mirelo):
    quiet_icon(mirelo)
    assert decode(mirelo, "  baabaaa\n\tbbabaab \u3000", *WORKED) == "Hi"


def test_digits_in_the_text_are_read_unless_a_pass_replaces_them(mirelo):
    quiet_icon(mirelo)
    assert decode(mirelo, "1001000 1101001", *PLAIN_ORDER) == "Hi"
    assert decode(mirelo, "1001000 1101001", *WORKED) == "\x01\x01\x03\x01\x01"


def test_a_group_of_zero_syllables_is_u0000(mirelo):
    quiet_icon(mirelo)
    assert decode(mirelo, "aaa0a", *WORKED) == "\x00\x00"


def test_a_character_outside_the_language_fails_the_whole_call(mirelo):
    quiet_icon(mirelo)
    with pytest.raises(ValueError):
        decode(mirelo, "baabaaa0bbabaXb", *WORKED)


@pytest.mark.parametrize("text", ["", " ", "0", "\t\n\u3000 0 "])
def test_empty_or_blank_text_gives_the_empty_text_after_the_icon(mirelo, text):
    icon = quiet_icon(mirelo)
    assert decode(mirelo, text, *WORKED) == ""
    assert icon.calls == [(("icon-text", 7), {})]


# --- The names the decoder calls -------------------------------------------------

def test_run_icon_is_called_first_once_with_icon_and_number(mirelo):
    recorder = CallRecorder(name="run_icon")
    mirelo.run_icon = recorder
    icon, number = object(), object()
    assert mirelo.Translation_disobey(icon_num=number, value_list=WORKED[0], icon=icon,
                                      numbers_list=WORKED[1], imput="baabaaa0bbabaab") == "Hi"
    assert recorder.calls == [((icon, number), {})]
    assert recorder.calls[0][0][0] is icon and recorder.calls[0][0][1] is number


@pytest.mark.parametrize("imput, value_list, numbers_list", [
    ("ba", ["0", 1, "a"], [" ", 1, 0]),
    ("ba", ["0"], [" ", 1, 0]),
    ("ba", ["0", "b", "a"], None),
    ("bX", *WORKED),
    ("b" * 40, *WORKED),
    (b"ba", *WORKED),
])
def test_run_icon_is_called_before_a_failure(mirelo, imput, value_list, numbers_list):
    recorder = quiet_icon(mirelo)
    with pytest.raises(Exception):
        decode(mirelo, imput, value_list, numbers_list)
    assert recorder.calls == [(("icon-text", 7), {})]


def test_a_failing_run_icon_stops_everything(mirelo):
    log = []
    mirelo.run_icon = CallRecorder(raises=IconFailure(), log=log, name="run_icon")
    with pytest.raises(IconFailure):
        decode(mirelo, watched_text("ba", log), Watched(log), Watched(log))
    assert log == ["run_icon"]


def test_a_missing_run_icon_is_a_name_error(mirelo):
    del mirelo.run_icon
    log = []
    with pytest.raises(NameError):
        decode(mirelo, "ba", Watched(log), Watched(log))
    assert log == []


def test_decoding_does_not_use_changeover(mirelo):
    quiet_icon(mirelo)
    mirelo.changeover = CallRecorder(raises=AssertionError("changeover called"))
    assert decode(mirelo, "baabaaa0bbabaab", *WORKED) == "Hi"
    assert decode(mirelo, TextSubclass("baabaaa0bbabaab"), *WORKED) == "Hi"
    del mirelo.changeover
    assert decode(mirelo, "baabaaa0bbabaab", *WORKED) == "Hi"


# --- Alphabets like the one before ---------------------------------------------

def test_calls_alternating_with_a_nearly_equal_alphabet_agree(mirelo):
    # Engines are kept per alphabet between calls: none may stand in for a
    # different one.
    quiet_icon(mirelo)
    for language in LANGUAGES:
        encoded = reference.encode("Hi, 你好\n\U0001F600", *language.encoding)
        value_list, numbers_list = language.decoding
        for form, values, numbers in one_entry_away(value_list, numbers_list):
            for alphabet in ((value_list, numbers_list), (values, numbers)) * 2:
                assert outcome(decode, mirelo, encoded, *alphabet) == \
                    outcome(reference.decode, encoded, *alphabet), (language.name, form)


# --- Long texts of whole groups, read a block at a time -------------------------

# Alphabets whose syllables are read straight from the text, group by group:
# the four languages, syllables that a string of one byte per character
# cannot hold, a blank that is a letter, and runs of a letter ended in three
# ways or standing alone.
BLOCK_ALPHABETS = LANGUAGES + [
    Language("wide syllables", (["\u0102\u0102", "\u0101\u0101", "\u0100\u0100", "x"],
                                [2, 1, 0, " "]),
             (["x", "\u0102\u0102", "\u0101\u0101", "\u0100\u0100"], [" ", 2, 1, 0]), None),
    Language("letter blank", (["ab", "cb", "q"], [1, 0, " "]), (["q", "ab", "cb"], [" ", 1, 0]),
             None),
    Language("runs", (["aaa!", "a?", "aa#", "a", " "], [3, 0, 2, 1, " "]),
             (["aaa!", "a?", "aa#", "a", " "], [3, 0, 2, 1, " "]), None),
]


def damage(text, rng, language):
    """The text with a few changes that a block reader must stop at: other
    blanks, broken or foreign syllables, blanks doubled, and groups that are
    too long, surrogates, or beyond the last code point."""
    value_list, numbers_list = language.decoding
    numbers = [str(number) for number in numbers_list]
    syllables = [value for value, number in zip(value_list, numbers) if number.isdigit()]
    blank = value_list[numbers.index(" ")] if " " in numbers else " "
    zero = value_list[numbers.index("0")]
    highest = max(syllables, key=lambda value: numbers_list[value_list.index(value)])
    changes = ["\t", "\u3000", "\n", blank, blank * 3, "x", "\x00", "\ud800", syllables[0][:1],
               syllables[0][-1:], syllables[-1][1:],
               blank + zero * 40 + blank, blank + highest * 22 + blank,
               blank + reference.encode("\ud800", *language.encoding) + blank,
               blank + reference.encode("\U0001F600\U0010FFFF", *language.encoding) + blank]
    for _ in range(rng.randrange(6)):
        at = rng.randrange(len(text) + 1)
        text = text[:at] + rng.choice(changes) + text[at:]
    return text


@pytest.mark.parametrize("language", BLOCK_ALPHABETS, ids=lambda language: language.name)
@pytest.mark.parametrize("seed", range(12))
def test_long_texts_of_groups_agree_with_the_plain_algorithm(mirelo, language, seed):
    quiet_icon(mirelo)
    rng = random.Random(seed)
    # Several blocks of a few thousand characters, so that groups straddle
    # their edges; a text of one byte per character now and then.
    text = mixed_text(rng.randrange(1, 6000), seed) if seed % 3 else "".join(
        chr(rng.randrange(0x20, 0x7F)) for _ in range(rng.randrange(1, 3000)))
    encoded = reference.encode(text, *language.encoding)
    damaged = damage(encoded, rng, language) if seed % 4 else encoded
    assert outcome(decode, mirelo, damaged, *language.decoding) == \
        outcome(reference.decode, damaged, *language.decoding)
    if damaged is encoded:
        assert decode(mirelo, encoded, *language.decoding) == text


@pytest.mark.parametrize("language", BLOCK_ALPHABETS, ids=lambda language: language.name)
def test_many_groups_read_the_long_way_in_a_row_change_nothing(mirelo, language):
    # Groups of characters beyond U+FFFF and lone surrogates, many in a row,
    # between stretches of ordinary text.
    quiet_icon(mirelo)
    text = ("Hi, 你好" * 50 + "\U0001F600\ud800\U00010000" * 30) * 4 + "end"
    assert decode(mirelo, reference.encode(text, *language.encoding), *language.decoding) == text


def test_a_text_of_one_byte_per_character_never_holds_wider_syllables(mirelo):
    # U+0000 and U+0100 share their low byte; only the wider is a syllable.
    quiet_icon(mirelo)
    wide = BLOCK_ALPHABETS[-2]
    for text in ("\x00\x00x" * 40, "\x02\x02x\x01\x01x" * 40, "1x" * 40):
        assert outcome(decode, mirelo, text, *wide.decoding) == \
            outcome(reference.decode, text, *wide.decoding), text[:6]


@pytest.mark.parametrize("zeros", [4, 7, 10, 16])
def test_syllables_worth_many_digits_agree_with_the_plain_algorithm(mirelo, zeros):
    # Four characters at once can add dozens of digits to a group: numbers
    # beyond 32 bits that leading zeros keep small, and that a one makes large.
    quiet_icon(mirelo)
    value_list, numbers_list = ["z", "a", " "], ["0" * zeros, 1, " "]
    for text in ("zzzza zzzzzzzza", "aaaazzzz", "azzzz zaz", "zazaz zzzzzzzzzzzzaz", "zzzzzzzzzzzz"):
        for repeated in (text, (text + " ") * 300):
            assert outcome(decode, mirelo, repeated, value_list, numbers_list) == \
                outcome(reference.decode, repeated, value_list, numbers_list), (text, zeros)


# Each alphabet breaks one condition under which runs of a character read
# alike group by group, and a text that shows it; a text fails as a whole at
# its first bad group, so each repeats one kind of group.
@pytest.mark.parametrize("alphabet, group", [
    ((["aa!", "a1", "a", " "], [1, 2, 0, " "]), "aaa!"),  # a run pass writes another's end
    ((["a", "aa!", "a?", " "], [1, 2, 0, " "]), "a?"),  # the lone run character's pass first
    ((["aa!", "2a", "a", " "], [2, 0, 1, " "]), "aa!a"),  # a pass over a digit written before
    ((["aa!", "a?", "a", " x"], [2, 0, 1, ""]), "a xa"),  # a pass across the blank
], ids=["written end", "lone first", "over a digit", "across blank"])
def test_runs_that_passes_break_agree_with_the_plain_algorithm(mirelo, alphabet, group):
    quiet_icon(mirelo)
    rng = random.Random(len(group))
    syllables = alphabet[0] + ["!", "?", "a"]
    texts = [" ".join([group] * 80 + ["a"])]
    texts += [" ".join("".join(rng.choices(syllables, k=rng.randrange(8)))
                       for _ in range(rng.randrange(1, 200))) for _ in range(20)]
    for text in texts:
        assert outcome(decode, mirelo, text, *alphabet) == \
            outcome(reference.decode, text, *alphabet), text[:40]
