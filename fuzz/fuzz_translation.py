"""Coverage-guided fuzzing of the module's engine functions with atheris:
changeover, Translation_smooth and Translation_disobey against the plain
algorithm in tests/plain_translation.py, and a round trip through every
language. Each input must give the same result or the same kind of
exception; a difference raises and atheris keeps the input.

Run from the repository root: python -m fuzz.fuzz_translation [atheris/libFuzzer options] [CORPUS]
(see tools/fuzz.sh). Needs a display for the module's window."""

import sys

import atheris

from tools.headless_module import import_without_main_loop

with atheris.instrument_imports():
    from tests import plain_translation as reference

# The harness is instrumented too: its branches tell which kinds of input
# (alphabet shapes, symbol collisions, exception kinds) have been reached.
# Symbols that collide with digits, separators and each other.
SYMBOLS = ["0", "1", "2", "3", " ", "\t", "\u3000", "", "O", "o", "00", "喵", "喵喵", "~",
           "-", "_", "+", "b", "x", "１"]
LANGUAGES = [
    (["O", "o", "0"], [1, 0, " "], ["0", "O", "o"], [" ", 1, 0]),
    (["哩", "鸽", "咕", " "], [2, 1, 0, " "], ["哩", "鸽", "咕", " "], [2, 1, 0, " "]),
    (["喵喵喵！", "喵喵？", "喵", ","], [2, 0, 1, "喵呜~ "],
     ["喵呜~", "喵喵喵！", "喵喵？", "喵"], ["", 2, 0, 1]),
    (["吱吱", "唧唧", " "], [1, 0, " "], ["吱吱", "唧唧", " "], [1, 0, " "]),
]


def load_module():
    module = import_without_main_loop()
    module.run_icon = lambda num_icon, number: None
    return module


MODULE = load_module()


@atheris.instrument_func
def outcome(function, *args):
    try:
        return ("ok", function(*args))
    except Exception as error:  # the kind of every failure is compared
        return ("error", type(error))


@atheris.instrument_func
def same(module_call, plain_call, *args):
    got, expected = outcome(module_call, *args), outcome(plain_call, *args)
    if got != expected:
        raise AssertionError("%r: module %r, plain %r" % (args, got, expected))


@atheris.instrument_func
def symbol(data):
    if data.ConsumeBool():
        return SYMBOLS[data.ConsumeIntInRange(0, len(SYMBOLS) - 1)]
    return data.ConsumeUnicodeNoSurrogates(2)


@atheris.instrument_func
def alphabet(data):
    base = data.ConsumeIntInRange(2, 6)
    numbers = list(range(base))
    for index in range(base - 1, 0, -1):
        other = data.ConsumeIntInRange(0, index)
        numbers[index], numbers[other] = numbers[other], numbers[index]
    numbers = [str(d) if data.ConsumeBool() else d for d in numbers]
    numbers.insert(data.ConsumeIntInRange(0, base), symbol(data))
    values = [symbol(data) for _ in range(base + 1 + data.ConsumeIntInRange(-1, 1))]
    return values, numbers


@atheris.instrument_func
def text(data, size):
    return data.ConsumeUnicode(size) if data.ConsumeBool() else \
        "".join(symbol(data) for _ in range(data.ConsumeIntInRange(0, size)))


@atheris.instrument_func
def fuzz_one(raw):
    data = atheris.FuzzedDataProvider(raw)
    choice = data.ConsumeIntInRange(0, 3)
    if choice == 0:
        num = data.ConsumeInt(data.ConsumeIntInRange(1, 40))
        base = data.ConsumeIntInRange(-40, 40) if data.ConsumeBool() else \
            data.ConsumeInt(data.ConsumeIntInRange(1, 20))
        if base in (1, -1, 0) and num != 0:
            # The plain loop never ends or divides by zero: the module refuses.
            if base != 0 and outcome(MODULE.changeover, num, base)[1] is not ValueError:
                raise AssertionError("changeover(%r, %r) did not refuse" % (num, base))
            return
        same(MODULE.changeover, reference.changeover, num, base)
    elif choice == 1:
        values, numbers = alphabet(data)
        same(lambda *a: MODULE.Translation_smooth(*a, "", 2), reference.encode,
             text(data, 8), values, numbers)
    elif choice == 2:
        values, numbers = alphabet(data)
        same(lambda *a: MODULE.Translation_disobey(*a, "", 2), reference.decode,
             text(data, 24), values, numbers)
    else:
        encode_values, encode_numbers, decode_values, decode_numbers = \
            LANGUAGES[data.ConsumeIntInRange(0, 3)]
        plain = data.ConsumeUnicode(data.ConsumeIntInRange(0, 64))
        encoded = MODULE.Translation_smooth(plain, encode_values, encode_numbers, "", 2)
        if encoded != reference.encode(plain, encode_values, encode_numbers):
            raise AssertionError("encoding %r differs" % plain)
        back = MODULE.Translation_disobey(encoded, decode_values, decode_numbers, "", 2)
        if back != plain:
            raise AssertionError("round trip of %r gave %r" % (plain, back))


if __name__ == "__main__":
    atheris.Setup(sys.argv, fuzz_one)
    atheris.Fuzz()
