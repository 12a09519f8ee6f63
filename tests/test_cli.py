"""The mirelo command line: its translations agree with the window's
directions, it streams with the same result in any chunking and in bounded
memory, and every error gives its message and exit status."""

import os
import random
import re
import subprocess
import sys
import threading
import unicodedata

import pytest

EXE_SUFFIX = ".exe" if os.name == "nt" else ""
MIRELO = os.path.join(os.path.dirname(sys.executable), "mirelo" + EXE_SUFFIX)
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# name, English alias, encoding label, decoding label
LANGUAGES = [
    ("气泡语", "bubble", "人语→气泡语", "气泡语→人语"),
    ("鸽语", "pigeon", "人语→鸽语", "鸽语→人语"),
    ("猫语", "cat", "人语→猫语", "猫语→人语"),
    ("猴语", "monkey", "人语→猴语", "猴语→人语"),
]
ALIASES = [language[1] for language in LANGUAGES]
BASE = {"bubble": 2, "pigeon": 3, "cat": 3, "monkey": 2}
# What a decoder may meet: the syllables, and what is not quite a syllable.
SYLLABLES = {
    "bubble": ["O", "o", "0"],
    "pigeon": ["哩", "鸽", "咕"],
    "cat": ["喵喵喵！", "喵喵？", "喵", "喵呜~", "呜", "~", "！"],
    "monkey": ["吱吱", "唧唧", "吱", "唧"],
}
NOISE = [" ", " ", "  ", "\t", "\n", "\u3000", "\x85", "0", "1", "2", "3", "_", "__", "+",
         "-", "b", "B", "0b", "x", "\uff10", "\uff11", "\uff12", "\u0661", "\u0660", "X",
         "\x00", "\U0001d7ce"]


# Overlong forms, surrogates, values above U+10FFFF, cut sequences.
BAD_SEQUENCES = [b"\xed\xa0\x80", b"\xed\xbf\xbf", b"\xe0\x80\xaf", b"\xe0\x9f\xbf", b"\xc0\xaf",
                 b"\xc1\xbf", b"\xf4\x90\x80\x80", b"\xf0\x8f\xbf\xbf", b"\xf8\x88\x80\x80",
                 b"\xc2", b"\xe4\xb8", b"\xf0\x9f\x98", b"\xbf", b"\xff"]


def mirelo_run(args, data=b"", timeout=60):
    return subprocess.run([MIRELO] + list(args), input=data, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=timeout)


def error_text(completed):
    return completed.stderr.decode("utf-8")


@pytest.fixture(scope="module")
def installed():
    assert os.path.isfile(MIRELO), "the mirelo program is not installed next to " + sys.executable


@pytest.fixture
def window(mirelo, installed):
    """A direction of the window: do_return with that label selected."""
    shown_icons = []
    mirelo.run_icon = lambda icon, icon_num: shown_icons.append(icon_num)

    def translate(label, text):
        mirelo.depot.set(label)
        return mirelo.do_return(text)

    return translate


def random_text(rnd, length):
    """Ordinary text from every corner of Unicode except the surrogates,
    which UTF-8 cannot carry."""
    pools = [
        lambda: chr(rnd.randint(0x20, 0x7E)),
        lambda: rnd.choice(" \t\n\r\x0b\x0c\x1c\x1f\x85\xa0\u2028\u3000\x00\x7f"),
        lambda: chr(rnd.randint(0x4E00, 0x9FFF)),
        lambda: rnd.choice("喵吱唧哩鸽咕Oo0！？~呜,"),
        lambda: chr(rnd.randint(0x80, 0xD7FF)),
        lambda: chr(rnd.randint(0xE000, 0xFFFF)),
        lambda: chr(rnd.randint(0x10000, 0x10FFFF)),
    ]
    return "".join(rnd.choice(pools)() for _ in range(length))


def noisy_text(rnd, alias):
    """Text that is partly in the language: syllables, blanks, digits,
    signs, prefixes, underscores and other scripts' digits."""
    pieces = SYLLABLES[alias] * 3 + NOISE
    return "".join(rnd.choice(pieces) for _ in range(rnd.randint(1, 14)))


def has_surrogate(text):
    return any(0xD800 <= ord(c) <= 0xDFFF for c in text)


def assert_gives(expected, completed, context):
    """The command gives the window's result, or fails where the window does."""
    if expected is None or has_surrogate(expected):
        assert completed.returncode == 1, context
    else:
        assert completed.returncode == 0, (context, error_text(completed))
        assert completed.stdout == expected.encode("utf-8"), context


def assert_same_as_window(window, label, alias, direction, text):
    """The command gives the window's result, or fails where the window does."""
    expected = window(label, text)
    completed = mirelo_run([direction, alias], text.encode("utf-8"))
    if expected is None or has_surrogate(expected):
        assert completed.returncode == 1, text
        reason = "is not in" if expected is None else "lone surrogate"
        assert reason in error_text(completed), text
        # Into a pipe, what was ready before the error may have gone out.
        if completed.stdout:
            assert error_text(completed).endswith("incomplete: discard them\n")
    else:
        assert completed.returncode == 0, (text, error_text(completed))
        assert completed.stdout == expected.encode("utf-8"), text


class TestAgreesWithTheWindow:
    @pytest.mark.parametrize("name, alias, encode_label, decode_label", LANGUAGES)
    def test_encoding_and_decoding_random_texts(self, window, name, alias, encode_label,
                                                decode_label):
        rnd = random.Random("agree " + alias)
        texts = [random_text(rnd, rnd.randint(0, 12)) for _ in range(12)]
        texts.append(random_text(rnd, 3000))
        for text in texts:
            encoded = window(encode_label, text)
            assert encoded is not None
            by_name = mirelo_run(["encode", name], text.encode("utf-8"))
            by_alias = mirelo_run(["encode", alias], text.encode("utf-8"))
            assert by_name.returncode == by_alias.returncode == 0
            assert by_name.stdout == by_alias.stdout == encoded.encode("utf-8"), text
            decoded = mirelo_run(["decode", name], by_name.stdout)
            assert decoded.returncode == 0
            assert decoded.stdout == window(decode_label, encoded).encode("utf-8")
            assert decoded.stdout == text.encode("utf-8")

    @pytest.mark.parametrize("name, alias, encode_label, decode_label", LANGUAGES)
    def test_decoding_texts_partly_in_the_language(self, window, name, alias, encode_label,
                                                   decode_label):
        rnd = random.Random("noise " + alias)
        for _ in range(60):
            assert_same_as_window(window, decode_label, alias, "decode", noisy_text(rnd, alias))

    @pytest.mark.parametrize("group", [
        "1", "+1", "-0", "-1", "--1", "+-1", "1_0", "1__0", "_1", "1_", "0b1", "0B1", "0b_1",
        "0b__1", "0b", "0b_", "-0b1", "+0b_1_0", "0x1", "0o1", "b1", "1b", "\uff11\uff10",
        "\u0661\u0660\u0660", "1\u0660_\uff11", "\U0001d7cf\U0001d7ce", "\u0662", "0" * 700 + "1",
        "1" * 21, "1" * 22, "100010000000000000000", "1101100000000000", "0_" * 300 + "1",
    ])
    def test_groups_read_as_the_interpreter_reads_them_in_base_2(self, window, group):
        # ASCII digits pass the monkey alphabet unchanged.
        assert_same_as_window(window, "猴语→人语", "monkey", "decode", group + " 1")

    @pytest.mark.parametrize("group", [
        "2", "-2", "1_2", "0b1", "\uff12\uff12", "0" * 4300 + "1", "0" * 4299 + "1",
        "0_" * 4300 + "1", "0" * 5000, "2" * 12, "2" * 13, "2001121021102", "1100022202222",
    ])
    def test_groups_read_as_the_interpreter_reads_them_in_base_3(self, window, group):
        assert_same_as_window(window, "鸽语→人语", "pigeon", "decode", group)

    def test_a_text_of_blanks_only_decodes_to_nothing(self, window):
        for name, alias, encode_label, decode_label in LANGUAGES:
            assert_same_as_window(window, decode_label, alias, "decode", " \t\n\u3000 ")
            assert_same_as_window(window, decode_label, alias, "decode", "")


class TestRepeatedGroups:
    """A group met again, in any surroundings, must give what decoding it
    afresh would."""

    @pytest.mark.parametrize("name, alias, encode_label, decode_label", LANGUAGES)
    def test_groups_met_again_decode_as_the_window_does(self, window, name, alias,
                                                       encode_label, decode_label):
        rnd = random.Random("again " + alias)
        # Small numbers' groups are the ends of larger ones': a chunk may
        # begin inside a group with bytes that match a whole one.
        vocabulary = [window(encode_label, c) for c in "中文 Hi\n😀\x01\x02\x03\x05"]
        blanks = [" ", "  ", "\t", "\u3000", "\n "]
        # Half the texts hold nothing but groups and blanks; the others also
        # syllables and text that is not in the language.
        pieces = [[group + blank for group in vocabulary for blank in blanks],
                  vocabulary * 4 + SYLLABLES[alias] + NOISE]
        for case in range(24):
            text = "".join(rnd.choice(pieces[case % 2]) for _ in range(rnd.randint(50, 400)))
            text += "".join(rnd.choice(vocabulary) + " " for _ in range(300))
            expected = window(decode_label, text)
            assert case % 2 or expected is not None
            for chunk in ("--chunk-size=%d" % rnd.randint(1, 13), "--chunk-size=65536"):
                completed = mirelo_run([chunk, "decode", alias], text.encode("utf-8"))
                assert_gives(expected, completed, (text, chunk))

    @pytest.mark.parametrize("name, alias, encode_label, decode_label", LANGUAGES)
    def test_errors_after_many_groups_met_again_name_their_exact_offsets(
            self, window, name, alias, encode_label, decode_label):
        encoded = window(encode_label, "喵喵 Hi" * 3000)
        characters, data = len(encoded), encoded.encode("utf-8")
        for chunk in ("--chunk-size=5", "--chunk-size=65536"):
            bad_group = mirelo_run([chunk, "decode", alias], data + " X".encode("utf-8"))
            assert bad_group.returncode == 1
            match = re.search("character offset (\\d+) ", error_text(bad_group))
            assert match and int(match.group(1)) == characters + 1, error_text(bad_group)
            bad_byte = mirelo_run([chunk, "decode", alias], data + b"\xff")
            assert bad_byte.returncode == 1
            assert "invalid UTF-8 at byte offset %d:" % len(data) in error_text(bad_byte)

    @pytest.mark.parametrize("alias", ALIASES)
    def test_texts_of_more_groups_than_can_be_remembered(self, alias):
        # Every group differs.
        code_points = list(range(0x4E00, 0xA000)) + list(range(0x20000, 0x20000 + 20000))
        text = "".join(map(chr, code_points)).encode("utf-8") * 2
        encoded = mirelo_run(["encode", alias], text)
        decoded = mirelo_run(["decode", alias], encoded.stdout)
        assert decoded.returncode == 0
        assert decoded.stdout == text


class TestBinaryGroupsInBlocks:
    """Bubble language's groups are read 64 bytes at a time; every group,
    however it lies across blocks, must read as the window reads it."""

    def bubble_group(self, value, zeros=0):
        return "o" * zeros + format(value, "b").replace("1", "O").replace("0", "o")

    def test_random_runs_of_digits_and_blanks(self, window):
        rnd = random.Random("binary blocks")
        pieces = ["O", "o", "0", "0", "00", " ", "\n", "OOOOOOOOOOOOOOO", "o" * 70]
        for case in range(60):
            text = "".join(rnd.choice(pieces) for _ in range(rnd.randint(100, 600)))
            if case % 4 == 3:
                text += rnd.choice(["1", "\t", "x", "\u3000", "_"])
                text += "".join(rnd.choice(pieces) for _ in range(100))
            chunk = "--chunk-size=%d" % rnd.choice([1, 63, 64, 65, 100, 65536])
            expected = window("气泡语→人语", text)
            completed = mirelo_run([chunk, "decode", "bubble"], text.encode("utf-8"))
            assert_gives(expected, completed, (text, chunk))

    @pytest.mark.parametrize("value, zeros", [
        (0, 0), (0, 200), (1, 130), (0x10FFFF, 0), (0x10FFFF, 100), (0xFFFF, 63), (0xD7FF, 1),
        (0xE000, 0), (0x10000, 40)])
    def test_groups_of_any_length_and_position(self, window, value, zeros):
        for shift in range(0, 70, 7):
            text = "0".join(["OoO"] * shift + [self.bubble_group(value, zeros)] + ["Oo"] * 40)
            completed = mirelo_run(["decode", "bubble"], text.encode("utf-8"))
            assert completed.returncode == 0
            assert completed.stdout == window("气泡语→人语", text).encode("utf-8")

    @pytest.mark.parametrize("value, problem", [
        (0x110000, "is a number above U+10FFFF"), (2 ** 40, "is a number above U+10FFFF"),
        (0xD800, "is the lone surrogate U+D800"), (0xDFFF, "is the lone surrogate U+DFFF")])
    def test_unreadable_groups_inside_blocks_name_their_offset(self, value, problem):
        for shift in (0, 5, 31, 64):
            before = "0".join(["OoO"] * shift)
            text = before + "0" * bool(before) + self.bubble_group(value) + "0" + "Oo0" * 60
            completed = mirelo_run(["decode", "bubble"], text.encode("utf-8"))
            assert completed.returncode == 1
            offset = len(before) + bool(before)
            assert "character offset %d %s" % (offset, problem) in error_text(completed)


class TestTokenGroups:
    """Pigeon and monkey language's groups are read token by token straight
    from the bytes; every group, wherever it lies, must read as the window
    reads it, and one that cannot be read must be named at its offset."""

    DIGITS = {"pigeon": (["咕", "鸽", "哩"], "鸽语→人语"), "monkey": (["唧唧", "吱吱"], "猴语→人语")}

    def group(self, alias, value, zeros=0):
        syllables, base = self.DIGITS[alias][0], BASE[alias]
        digits = []
        while value or not digits:
            digits.append(value % base)
            value //= base
        return syllables[0] * zeros + "".join(syllables[d] for d in reversed(digits))

    @staticmethod
    def near_miss(syllable, rnd):
        """The syllable with one continuation byte changed by one."""
        data = bytearray(syllable.encode("utf-8"))
        at = rnd.choice([i for i, byte in enumerate(data) if 0x80 <= byte < 0xC0])
        data[at] += 1 if data[at] < 0xBF else -1
        return data.decode("utf-8")

    def assert_decodes_as_the_window(self, window, alias, text, chunk="--chunk-size=65536"):
        expected = window(self.DIGITS[alias][1], text)
        completed = mirelo_run([chunk, "decode", alias], text.encode("utf-8"))
        assert_gives(expected, completed, (text, chunk))

    @pytest.mark.parametrize("alias", ["pigeon", "monkey"])
    def test_random_runs_of_tokens_and_blanks(self, window, alias):
        rnd = random.Random("tokens " + alias)
        syllables = self.DIGITS[alias][0]
        # Half syllables, characters a byte away from a syllable, digits that
        # stand for themselves, other blanks and runs of leading zeros longer
        # than a group the tokens read.
        odd = ["吱", "唧", "1", "2", "\n", "\u3000", "x", syllables[0] * 70]
        odd += [self.near_miss(syllable, rnd) for syllable in syllables for _ in range(3)]
        for case in range(40):
            pieces = syllables * 4 + [" "] * 3 + (odd if case % 2 else [])
            text = "".join(rnd.choice(pieces) for _ in range(rnd.randint(100, 500))) + " "
            text += "".join(self.group(alias, rnd.randint(0, 0x10FFFF)) + " " for _ in range(60))
            chunk = "--chunk-size=%d" % rnd.choice([1, 2, 7, 64, 65536])
            self.assert_decodes_as_the_window(window, alias, text, chunk)

    @pytest.mark.parametrize("alias", ["pigeon", "monkey"])
    def test_a_character_a_byte_away_from_a_syllable_is_no_syllable(self, window, alias):
        rnd = random.Random("near " + alias)
        syllables = self.DIGITS[alias][0]
        around = (self.group(alias, 0x41) + " ") * 30
        for tokens in (1, 2, 8, 13, 16):
            for k in range(tokens):
                group = [rnd.choice(syllables) for _ in range(tokens)]
                group[k] = self.near_miss(group[k], rnd)
                self.assert_decodes_as_the_window(window, alias,
                                                  around + "".join(group) + " " + around)

    @pytest.mark.parametrize("alias", ["pigeon", "monkey"])
    @pytest.mark.parametrize("value, zeros", [
        (0, 0), (0, 38), (0, 39), (0, 64), (1, 80), (0x10FFFF, 0), (0x10FFFF, 30), (0xFFFF, 45),
        (0xD7FF, 1), (0xE000, 0), (0x10000, 60)])
    def test_groups_of_any_length_and_position(self, window, alias, value, zeros):
        for shift in range(0, 40, 9):
            text = " ".join([self.group(alias, 0x4E2D)] * shift + [self.group(alias, value, zeros)]
                            + [self.group(alias, 0x41)] * 60) + " "
            self.assert_decodes_as_the_window(window, alias, text)

    def test_more_digits_than_the_interpreter_reads(self, window):
        text = self.group("pigeon", 0x41) + " " + self.group("pigeon", 0x41, 4400) + " " * 300
        self.assert_decodes_as_the_window(window, "pigeon", text)
        completed = mirelo_run(["decode", "pigeon"], text.encode("utf-8"))
        assert "character offset 5 has more than" in error_text(completed)

    @pytest.mark.parametrize("alias", ["pigeon", "monkey"])
    @pytest.mark.parametrize("value, problem", [
        (0x110000, "is a number above U+10FFFF"), (3 ** 38, "is a number above U+10FFFF"),
        (0xD800, "is the lone surrogate U+D800"), (0xDFFF, "is the lone surrogate U+DFFF")])
    def test_unreadable_groups_name_their_offset(self, alias, value, problem):
        for shift in (0, 1, 5, 31, 300):
            before = "".join(self.group(alias, 0x4E2D) + " " for _ in range(shift))
            text = before + self.group(alias, value) + " " + (self.group(alias, 0x41) + " ") * 60
            completed = mirelo_run(["decode", alias], text.encode("utf-8"))
            assert completed.returncode == 1
            # The offset is that of a character of the group's first syllable.
            match = re.search("character offset (\\d+) " + re.escape(problem), error_text(completed))
            syllable = len(self.group(alias, 1))
            assert match and 0 <= int(match.group(1)) - len(before) < syllable, error_text(completed)


class TestRunGroups:
    """Cat language's groups are read from bit planes of their bytes, 4 KB at
    a time; every group, wherever it lies against those blocks, must read as
    the window reads it, and text that is not in the language or not UTF-8
    must be named at its offset."""

    DIGITS = ["喵喵？", "喵", "喵喵喵！"]

    def group(self, value, zeros=0):
        digits = []
        while value or not digits:
            digits.append(value % 3)
            value //= 3
        return self.DIGITS[0] * zeros + "".join(self.DIGITS[d] for d in reversed(digits))

    def long_text(self, rnd, groups=400):
        """Several blocks of groups of every length, none a surrogate."""
        values = [rnd.choice([rnd.randint(0, 0x7F), rnd.randint(0, 0x10FFFF)])
                  for _ in range(groups)]
        return "".join(self.group(value) + " " for value in values
                       if not 0xD800 <= value <= 0xDFFF)

    def assert_decodes_as_the_window(self, window, text, chunk="--chunk-size=65536"):
        expected = window("猫语→人语", text)
        completed = mirelo_run([chunk, "decode", "cat"], text.encode("utf-8"))
        assert_gives(expected, completed, (text, chunk))

    def test_random_runs_and_terminators(self, window):
        # Terminators after too short a run, runs longer than a group is read
        # for, characters a byte away from the language's, and other blanks.
        rnd = random.Random("runs")
        odd = ["呜", "~", "喵呜~", "\n", "\u3000", "2", "x", "喵" * 70, "！" * 3, "\u55b6", "\uff02",
               "\u55b4", "\uff20"]
        for case in range(40):
            pieces = ["喵"] * 8 + ["！", "？"] * 2 + [" "] * 3 + (odd if case % 2 else [])
            text = "".join(rnd.choice(pieces) for _ in range(rnd.randint(100, 2000))) + " "
            text += self.long_text(rnd, 100)
            chunk = "--chunk-size=%d" % rnd.choice([1, 7, 4096, 65536])
            self.assert_decodes_as_the_window(window, text, chunk)

    def test_a_terminator_at_a_group_start_takes_nothing_before_it(self, window):
        rnd = random.Random("too near")
        for before in ["喵", "喵喵", "喵喵喵", "喵喵喵喵", "喵喵喵！喵喵", "喵喵？喵喵喵"]:
            for blanks in [" ", "  ", "   "]:
                for after in ["！", "？", "喵！", "喵喵？", "喵？喵"]:
                    for shift in (0, 37):
                        text = (self.long_text(rnd, shift) + before + blanks + after + " " +
                                self.long_text(rnd, 60))
                        self.assert_decodes_as_the_window(window, text)

    @pytest.mark.parametrize("value, zeros", [
        (0, 0), (0, 17), (0, 18), (0, 30), (1, 17), (0x10FFFF, 0), (0x10FFFF, 5), (0xFFFF, 8),
        (0xD7FF, 1), (0xE000, 0), (0x10000, 7)])
    def test_groups_of_any_length_and_position(self, window, value, zeros):
        rnd = random.Random("position %d %d" % (value, zeros))
        for shift in range(0, 160, 23):
            text = (" ".join([self.group(0x4E2D)] * shift + [self.group(value, zeros)]) + " " +
                    self.long_text(rnd))
            self.assert_decodes_as_the_window(window, text)

    @pytest.mark.parametrize("value, problem", [
        (0x110000, "is a number above U+10FFFF"), (3 ** 17, "is a number above U+10FFFF"),
        (0xD800, "is the lone surrogate U+D800"), (0xDFFF, "is the lone surrogate U+DFFF")])
    def test_unreadable_groups_name_their_offset(self, value, problem):
        for shift in (0, 1, 5, 31, 300):
            before = "".join(self.group(0x4E2D) + " " for _ in range(shift))
            text = before + self.group(value) + " " + (self.group(0x41) + " ") * 300
            completed = mirelo_run(["decode", "cat"], text.encode("utf-8"))
            assert completed.returncode == 1
            match = re.search("character offset (\\d+) " + re.escape(problem), error_text(completed))
            # The offset is that of the character where the group's first
            # digit is known, inside the group.
            assert match and 0 <= int(match.group(1)) - len(before) < len(self.group(value)), (
                error_text(completed))

    def test_broken_bytes_deep_in_the_text_name_their_offset(self):
        rnd = random.Random("broken")
        text = self.long_text(rnd, 1000).encode("utf-8")
        for case in range(30):
            at = rnd.randrange(len(text))
            data = bytearray(text)
            damage = rnd.randrange(3)
            if damage == 0:
                data[at] = rnd.choice([0xFF, 0x80, 0xB5, 0xE5, 0xC0])
            elif damage == 1:
                del data[at]
            else:
                data[at:at] = rnd.choice(BAD_SEQUENCES)
            data = bytes(data)
            chunk = "--chunk-size=%d" % rnd.choice([1, 4096, 65536])
            completed = mirelo_run([chunk, "decode", "cat"], data)
            assert completed.returncode == 1, (at, damage)
            try:
                data.decode("utf-8")
            except UnicodeDecodeError as error:
                assert error_text(completed).startswith(
                    "mirelo: standard input: invalid UTF-8 at byte offset %d: " % error.start), (
                        at, damage, error_text(completed))
            else:
                assert "the text is not in 猫语 (cat)" in error_text(completed), (at, damage)


class TestStreaming:
    def test_any_chunking_gives_the_bytes_of_a_whole_run(self):
        rnd = random.Random("chunks")
        text = random_text(rnd, 400).encode("utf-8")
        for alias in ALIASES:
            whole = mirelo_run(["encode", alias], text)
            assert whole.returncode == 0
            for size in (1, 2, 3, 5, 7, 64):
                chunked = mirelo_run(["--chunk-size=%d" % size, "encode", alias], text)
                assert chunked.stdout == whole.stdout, (alias, size)
                back = mirelo_run(["--chunk-size=%d" % size, "decode", alias], whole.stdout)
                assert back.returncode == 0
                assert back.stdout == text, (alias, size)
            detected = mirelo_run(["--chunk-size=3", "decode", "--detect"], whole.stdout)
            assert detected.stdout == text

    def test_output_begins_before_the_input_ends(self):
        first = mirelo_run(["encode", "cat"], "第一行\n".encode("utf-8")).stdout + b" "
        second = mirelo_run(["encode", "cat"], "第二行".encode("utf-8")).stdout
        process = subprocess.Popen([MIRELO, "decode", "cat"], stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        received = []
        reader = threading.Thread(target=lambda: received.append(process.stdout.read(10)))
        reader.start()
        process.stdin.write(first)
        process.stdin.flush()
        # A guard against hanging, not a speed limit: the first line must
        # arrive while standard input is still open.
        reader.join(timeout=60)
        arrived_early = list(received)
        process.stdin.write(second)
        process.stdin.close()
        reader.join()
        rest = process.stdout.read()
        process.wait(timeout=60)
        assert arrived_early == ["第一行\n".encode("utf-8")]
        assert received[0] + rest == "第一行\n第二行".encode("utf-8")
        assert process.returncode == 0

    def test_large_streams_run_in_bounded_memory(self):
        if os.name == "nt":
            pytest.skip("the resource module is POSIX only")
        if "libasan" in os.environ.get("LD_PRELOAD", ""):
            pytest.skip("under AddressSanitizer, resident memory is mostly the sanitizer's")
        # A fresh interpreter whose only child is mirelo: its peak resident
        # size is that of the command alone. 50 MB go through each pipe.
        code = """
import resource, subprocess, sys, threading
block = %r * ((1 << 20) // %d)
process = subprocess.Popen(%r, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
def feed():
    for _ in range(50):
        process.stdin.write(block)
    process.stdin.write(%r)
    process.stdin.close()
threading.Thread(target=feed).start()
received = 0
while True:
    data = process.stdout.read(1 << 20)
    if not data:
        break
    received += len(data)
process.wait()
print(process.returncode, received, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)
"""
        cat_hi = "喵喵喵！喵喵喵！喵喵？喵喵？ 喵喵喵？喵喵喵！喵喵喵！喵喵？ ".encode("utf-8")
        monkey_input = "Hi 中\U0001f600\n".encode("utf-8")
        # Single groups of 50 MB: leading zeros, then a one or a number too
        # large; digits with underscores (ASCII digits pass the monkey and
        # pigeon alphabets unchanged), read or beyond the digits of base 3.
        zeros, one = "唧唧".encode("utf-8"), "吱吱".encode("utf-8")
        for command, alias, unit, tail, status in (
                ("decode", "cat", cat_hi, b"", 0),
                ("encode", "monkey", monkey_input, b"", 0),
                ("decode", "monkey", zeros, one, 0),
                ("decode", "monkey", zeros, one * 22, 1),
                ("decode", "monkey", b"0_", b"1", 0),
                ("decode", "pigeon", b"1_", b"1", 1)):
            program = code % (unit, len(unit), [MIRELO, command, alias], tail)
            completed = subprocess.run([sys.executable, "-c", program], stdout=subprocess.PIPE,
                                       stderr=subprocess.DEVNULL, timeout=600)
            returned, received, peak = completed.stdout.split()
            assert int(returned) == status, (command, alias, tail)
            assert (int(received) > 0) == (status == 0)
            peak_bytes = int(peak) * (1 if sys.platform == "darwin" else 1024)
            assert peak_bytes < 24 << 20, (command, alias, peak_bytes)


@pytest.fixture(scope="module")
def plain():
    """About 1 MB of text: its encoded forms take several pieces."""
    rnd = random.Random("pieces")
    parts = ["中文", "Hi\n", "\U0001f600", "语言 ", "\u3000", "a"]
    return "".join(rnd.choice(parts) for _ in range(250000)).encode("utf-8")


class TestTranslationInPieces:
    """Large inputs are translated in pieces side by side, files where they
    lie: the output and every message must be those of the text read in one
    go."""

    @pytest.mark.parametrize("name, alias, encode_label, decode_label", LANGUAGES)
    def test_files_and_pipes_encode_as_the_window_does(self, window, tmp_path, plain, name,
                                                       alias, encode_label, decode_label):
        expected = window(encode_label, plain.decode("utf-8")).encode("utf-8")
        path = tmp_path / "text"
        path.write_bytes(plain)
        for completed in (mirelo_run(["encode", name, str(path)]),
                          mirelo_run(["encode", alias], plain)):
            assert (completed.returncode, completed.stderr) == (0, b"")
            assert completed.stdout == expected, alias
        # A sequence cut short by the next character, far into the input.
        at = plain.index(b"\n", len(plain) * 2 // 3) + 1
        path.write_bytes(plain[:at] + b"\xe4\xb8" + plain[at:])
        completed = mirelo_run(["encode", alias, str(path)])
        assert completed.returncode == 1
        assert ("invalid UTF-8 at byte offset %d: byte 0x%02X cannot continue the sequence "
                "started by 0xE4" % (at, plain[at])) in error_text(completed)

    @pytest.mark.parametrize("alias", ALIASES)
    def test_files_and_pipes_decode_alike(self, tmp_path, plain, alias):
        encoded = mirelo_run(["encode", alias], plain).stdout
        assert len(encoded) > 3 << 20
        path = tmp_path / "text"
        # A descriptor that does not stand at the start is read from where it stands.
        path.write_bytes(b"\xff" * 999 + encoded)
        with open(path, "rb") as source:
            source.seek(999)
            from_descriptor = subprocess.run([MIRELO, "decode", alias], stdin=source,
                                             stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                             timeout=60)
        path.write_bytes(encoded)
        from_file = mirelo_run(["decode", alias, str(path)])
        from_pipe = mirelo_run(["decode", alias], encoded)
        for completed in (from_descriptor, from_file, from_pipe):
            assert (completed.returncode, completed.stdout, completed.stderr) == (0, plain, b"")

    @pytest.mark.parametrize("alias", ALIASES)
    def test_errors_deep_in_a_file_name_their_offsets(self, tmp_path, plain, alias):
        encoded = mirelo_run(["encode", alias], plain).stdout
        # Past the first pieces, at the start of a group.
        at = encoded.index(b" " if alias != "bubble" else b"0", len(encoded) * 2 // 3) + 1
        characters = len(encoded[:at].decode("utf-8"))
        cases = [(b"\xff", "invalid UTF-8 at byte offset %d: byte 0xFF" % at),
                 ("X".encode("utf-8"), "the group at character offset %d " % characters)]
        for bad, message in cases:
            text = encoded[:at] + bad + encoded[at:]
            path = tmp_path / "text"
            path.write_bytes(text)
            for completed in (mirelo_run(["decode", alias, str(path)]),
                              mirelo_run(["decode", alias], text)):
                assert completed.returncode == 1
                assert message in error_text(completed), (alias, error_text(completed))

    def test_an_error_is_reported_while_the_input_is_still_open(self):
        process = subprocess.Popen([MIRELO, "decode", "cat"], stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            process.stdin.write("喵X ".encode("utf-8"))
            process.stdin.flush()
            # A guard against hanging, not a speed limit.
            assert process.wait(timeout=60) == 1
            assert "is not a number in base 3" in process.stderr.read().decode("utf-8")
        finally:
            process.kill()
            process.stdin.close()
            process.wait()


class TestErrors:
    def test_invalid_utf8_names_its_byte_offset(self):
        cases = [
            (b"ab\xffcd", 2, "byte 0xFF cannot start a character"),
            (b"Hi\xc3\xa9\x80", 4, "byte 0x80 cannot start a character"),
            (b"\xe4\xb8A", 0, "byte 0x41 cannot continue the sequence started by 0xE4"),
            (b"x\xc0\x80", 1, "byte 0xC0 cannot start a character"),
            (b"xy\xed\xa0\x80", 2, "byte 0xA0 cannot continue the sequence started by 0xED"),
            (b"\xf4\x90\x80\x80", 0, "byte 0x90 cannot continue the sequence started by 0xF4"),
            (b"abc\xe4\xb8", 3, "the input ends inside a multi-byte sequence"),
            # The same faults inside longer text.
            (b"0123456789\xed\xa0\x80abcdefgh", 10,
             "byte 0xA0 cannot continue the sequence started by 0xED"),
            ("喵喵喵".encode() + b"\xed\xa0\x80" + "喵喵喵喵喵".encode(), 9,
             "byte 0xA0 cannot continue the sequence started by 0xED"),
            ("一二三".encode() + b"\xe0\x80\xaf" + "四五六".encode(), 9,
             "byte 0x80 cannot continue the sequence started by 0xE0"),
            ("一二三".encode() + b"\xc1\xbf" + "四五六".encode(), 9,
             "byte 0xC1 cannot start a character"),
            ("一二三".encode() + b"\xe4\xb8\xc0" + "四五六".encode(), 9,
             "byte 0xC0 cannot continue the sequence started by 0xE4"),
            ("一二三".encode() + b"\xf0\x8f\xbf\xbf" + "四五六".encode(), 9,
             "byte 0x8F cannot continue the sequence started by 0xF0"),
        ]
        for data, offset, reason in cases:
            for chunk in ("--chunk-size=1", "--chunk-size=4096"):
                completed = mirelo_run([chunk, "encode", "pigeon"], data)
                assert completed.returncode == 1
                assert error_text(completed).startswith(
                    "mirelo: standard input: invalid UTF-8 at byte offset %d: %s\n"
                    % (offset, reason)), (data, chunk)

    def test_random_bytes_are_read_as_the_interpreter_reads_utf8(self, window):
        # Long runs of every width of character with a few damaged bytes, so
        # that faults fall inside wide stretches of text as well as at edges.
        rnd = random.Random("utf-8")
        pieces = [b"a", b" ", "喵".encode(), "！".encode(), "é".encode(), "😀".encode(),
                  "\ud7ff".encode(), "\ue000".encode(), "\u0800".encode(), "\x80".encode(),
                  "\U0010ffff".encode(), "\u07ff".encode()]
        for case in range(300):
            data = bytearray(b"".join(rnd.choice(pieces) for _ in range(rnd.randint(0, 60))))
            for _ in range(rnd.randint(0, 2) if data else 0):
                at = rnd.randrange(len(data))
                damage = rnd.randrange(4)
                if damage == 0:
                    data[at] = rnd.randrange(256)
                elif damage == 1:
                    del data[at]
                elif damage == 2:
                    data.insert(at, rnd.randrange(0x80, 0x100))
                else:
                    data[at:at] = rnd.choice(BAD_SEQUENCES)
            data = bytes(data)
            chunk = "--chunk-size=%d" % (rnd.randint(1, 7) if case % 3 == 0 else 65536)
            completed = mirelo_run([chunk, "encode", "bubble"], data)
            try:
                text = data.decode("utf-8")
            except UnicodeDecodeError as error:
                assert completed.returncode == 1, data
                assert error_text(completed).startswith(
                    "mirelo: standard input: invalid UTF-8 at byte offset %d: " % error.start), data
            else:
                assert completed.returncode == 0, data
                assert completed.stdout == window("人语→气泡语", text).encode("utf-8"), data

    # A group's offset is that of its first syllable; for syllables of several
    # characters, any character of that syllable.
    def assert_group_error(self, alias, text, offsets, problem):
        name = [language[0] for language in LANGUAGES if language[1] == alias][0]
        pattern = ("mirelo: standard input: the text is not in %s \\(%s\\): the group at character "
                   "offset (\\d+) %s\n" % (name, alias, re.escape(problem)))
        for chunk in ("--chunk-size=1", "--chunk-size=65536"):
            completed = mirelo_run([chunk, "decode", alias], text.encode("utf-8"))
            assert completed.returncode == 1
            match = re.match(pattern, error_text(completed))
            assert match, (text, chunk, error_text(completed))
            assert int(match.group(1)) in offsets, (text, chunk)

    def test_text_not_in_the_language_names_the_group_and_its_character_offset(self):
        cases = [
            ("pigeon", "哩哩 X", [3], "is not a number in base 3"),
            ("pigeon", "哩哩咕咕 鸽咕哩哩咕  哩X哩", [12], "is not a number in base 3"),
            ("bubble", "OooOooo0OOoOooO0-O", [16], "is a negative number"),
            ("pigeon", "咕" * 4301, [0], "has more than 4300 digits"),
            ("monkey", "吱吱" * 22, [0, 1], "is a number above U+10FFFF"),
            ("cat", "喵喵喵！喵 喵呜~喵喵？x", [9, 10, 11], "is not a number in base 3"),
            # A blank read one character at a time, then a long bad group.
            ("pigeon", "鸽鸽鸽鸽\u3000鸽鸽鸽 " + "哩" * 8 + "X", [9], "is not a number in base 3"),
        ]
        for alias, text, offsets, problem in cases:
            self.assert_group_error(alias, text, offsets, problem)

    def test_a_lone_surrogate_cannot_be_written(self):
        syllables = {"1": "吱吱", "0": "唧唧"}
        text = "".join(syllables[digit] for digit in format(0xD800, "b"))
        self.assert_group_error("monkey", text, [0, 1],
                                "is the lone surrogate U+D800, which UTF-8 cannot hold")
        completed = mirelo_run(["decode", "monkey"], text.encode("utf-8"))
        assert completed.stdout == b""

    def test_files_are_read_and_a_missing_one_is_named(self, tmp_path):
        source = tmp_path / "hi.txt"
        source.write_bytes("Hi".encode("utf-8"))
        completed = mirelo_run(["encode", "bubble", str(source)])
        assert completed.stdout == b"OooOooo0OOoOooO"
        missing = str(tmp_path / "missing.txt")
        completed = mirelo_run(["encode", "bubble", missing])
        assert completed.returncode == 1
        assert error_text(completed).startswith("mirelo: %s: " % missing)
        assert "No such file" in error_text(completed)
        completed = mirelo_run(["encode", "bubble", str(tmp_path)])
        assert completed.returncode == 1
        assert error_text(completed).startswith("mirelo: %s: " % tmp_path)

    @pytest.mark.parametrize("args, message", [
        ([], "missing command: encode or decode"),
        (["translate", "cat"], "unknown command 'translate' (use encode or decode)"),
        (["encode"], "missing language after 'encode'"),
        (["decode", "dog"], "unknown language 'dog' (choose one of 气泡语 (bubble), 鸽语 "
                            "(pigeon), 猫语 (cat), 猴语 (monkey))"),
        (["encode", "猫"], "unknown language '猫'"),
        (["encode", "cat", "a", "b"], "too many arguments"),
        (["decode", "--detect", "a", "b"], "too many arguments"),
        (["encode", "--detect"], "--detect goes with decode, not encode"),
        (["encode", "--fast", "cat"], "unknown option '--fast'"),
        (["--chunk-size=0", "encode", "cat"], "invalid chunk size in '--chunk-size=0'"),
    ])
    def test_bad_usage_exits_with_2(self, args, message):
        completed = mirelo_run(args, b"Hi")
        assert completed.returncode == 2
        assert error_text(completed).startswith("mirelo: " + message)
        assert error_text(completed).endswith("Try 'mirelo --help' for more information.\n")
        assert completed.stdout == b""

    def test_language_names_in_any_letter_case_and_dash_for_standard_input(self):
        completed = mirelo_run(["encode", "PIGEON", "-"], b"Hi")
        assert completed.stdout == "哩哩咕咕 鸽咕哩哩咕".encode("utf-8")
        completed = mirelo_run(["decode", "--", "Cat"], "喵喵？".encode("utf-8"))
        assert completed.stdout == b"\x00"

    def test_help_and_version(self):
        completed = mirelo_run(["--help"])
        assert completed.returncode == 0
        text = completed.stdout.decode("utf-8")
        assert text.startswith("Usage: mirelo encode LANGUAGE [FILE]\n")
        for name, alias, _, _ in LANGUAGES:
            assert re.search(r"^  %s +%s$" % (name, alias), text, re.M)
        assert "--detect" in text and "Exit status" in text and "discard" in text
        assert mirelo_run(["encode", "cat", "-h"]).stdout == completed.stdout
        with open(os.path.join(ROOT, "pyproject.toml"), encoding="utf-8") as project:
            version = re.search(r'^version = "([^"]+)"', project.read(), re.M).group(1)
        completed = mirelo_run(["--version"])
        assert (completed.returncode, completed.stdout) == (0, ("mirelo %s\n" % version).encode())


class TestNothingPartialPassesForSuccess:
    # Enough valid text that output is written before the error arrives.
    VALID = ("猫" * 200000).encode("utf-8")

    def encoded_then_broken(self):
        return mirelo_run(["encode", "monkey"], self.VALID).stdout + "吱吱X".encode("utf-8")

    def test_a_regular_file_is_cut_back_to_what_it_held(self, tmp_path):
        data = self.encoded_then_broken()
        target = tmp_path / "out.txt"
        for mode, before in (("wb", b""), ("ab", b"kept\n")):
            target.write_bytes(before)
            with open(str(target), mode) as out:
                completed = subprocess.run([MIRELO, "decode", "monkey"], input=data, stdout=out,
                                           stderr=subprocess.PIPE, timeout=60)
            assert completed.returncode == 1
            assert target.read_bytes() == before
            assert "is not in 猴语" in error_text(completed)

    def test_a_pipe_keeps_what_was_written_and_the_error_says_so(self):
        completed = mirelo_run(["decode", "monkey"], self.encoded_then_broken())
        assert completed.returncode == 1
        assert 0 < len(completed.stdout) <= len(self.VALID)
        assert self.VALID.startswith(completed.stdout)
        assert error_text(completed).endswith(
            "mirelo: the %d bytes written before the error are incomplete: discard them\n"
            % len(completed.stdout))


class TestDetection:
    def test_each_language_is_found_and_decoded(self):
        rnd = random.Random("detect")
        text = random_text(rnd, 500).encode("utf-8")
        for alias in ALIASES:
            encoded = mirelo_run(["encode", alias], text).stdout
            completed = mirelo_run(["decode", "--detect"], encoded)
            assert (completed.returncode, completed.stdout) == (0, text), alias

    def test_texts_every_language_reads_alike(self):
        for text, result in ((" \n\u3000", b""), ("", b""), ("1 1\t1", b"\x01\x01\x01")):
            completed = mirelo_run(["decode", "--detect"], text.encode("utf-8"))
            assert (completed.returncode, completed.stdout) == (0, result), text

    def test_none_or_several_languages(self):
        completed = mirelo_run(["decode", "--detect"], b"hello")
        assert completed.returncode == 1
        lines = error_text(completed).splitlines()
        assert lines[0] == "mirelo: standard input: the text is in none of the four languages:"
        assert lines[1:] == [
            "  %s (%s): the group at character offset 0 is not a number in base %d"
            % (name, alias, BASE[alias]) for name, alias, _, _ in LANGUAGES]
        completed = mirelo_run(["decode", "--detect"], b"1 10")
        assert completed.returncode == 1
        assert error_text(completed) == (
            "mirelo: standard input: the text reads in more than one language, with different "
            "results: 气泡语 (bubble), 鸽语 (pigeon), 猫语 (cat), 猴语 (monkey)\n")

    def test_the_last_language_standing_must_read_the_rest(self):
        text = mirelo_run(["encode", "pigeon"], b"Hi").stdout + " 哩哩X".encode("utf-8")
        completed = mirelo_run(["decode", "--detect"], text)
        assert completed.returncode == 1
        assert error_text(completed).startswith(
            "mirelo: standard input: the text is not in 鸽语 (pigeon): the group at character "
            "offset 11 ")
