"""changeover: digits of a number in a base, for ordinary and unusual
numbers and bases, compared with the plain algorithm; the arguments on which
repeated division makes no progress, which must fail instead of hanging."""

import decimal
import fractions

import pytest
from hypothesis import example, given
from hypothesis import strategies as st

from engine_support import (ENGINE_SETTINGS, CallRecorder, assert_value_errors, outcome,
                            reference, run_bounded)

BIG = 2 ** 64


@pytest.mark.parametrize("num, base, digits", [
    (0, 2, "0"),
    (5, 2, "101"),
    (65, 3, "2102"),
    (72, 2, "1001000"),
    (0x10FFFF, 2, "100001111111111111111"),
    (0x10FFFF, 3, "2002121021101"),
    (26, 16, "110"),
    (-5, 2, "101"),
    (BIG, 2, "1" + "0" * 64),
    (BIG - 1, 16, "15" * 16),
    (-(3 ** 50), 3, "1" + "0" * 50),
])
def test_known_digits(mirelo, num, base, digits):
    assert mirelo.changeover(num, base) == digits


# --- Agreement with the plain algorithm --------------------------------------

integers = st.one_of(st.integers(-1000, 1000), st.integers(),
                     st.integers(-(2 ** 200), 2 ** 200),
                     st.sampled_from([BIG - 1, BIG, BIG + 1, -BIG, 2 ** 63, -(2 ** 63)]))


@ENGINE_SETTINGS
@given(num=integers, base=st.integers(2, 10))
def test_small_bases_give_the_positional_notation(mirelo, num, base):
    digits = mirelo.changeover(num, base)
    assert int(digits, base) == abs(num)
    assert digits == "0" or not digits.startswith("0")


@ENGINE_SETTINGS
@given(num=integers, base=st.one_of(st.integers(2, 40), st.integers(-40, -2),
                                    st.integers(2, 2 ** 70), st.integers(-(2 ** 70), -2)))
@example(num=26, base=16)
@example(num=-7, base=-2)
@example(num=BIG * 3, base=-BIG)
def test_any_integer_base_agrees_with_the_plain_algorithm(mirelo, num, base):
    assert mirelo.changeover(num, base) == reference.changeover(num, base)


class Quotient:
    """A number whose divmod() answers with `pair` and stops the loop at once."""

    def __init__(self, pair):
        self.pair = pair

    def __lt__(self, other):
        return False

    def __divmod__(self, other):
        return self.pair


class Truthy:
    """A comparison result that is neither True nor False."""

    def __init__(self, value):
        self.value = value

    def __bool__(self):
        return self.value


class OddOrder(int):
    """An int whose comparison with 0 answers with an object, not a bool."""

    def __lt__(self, other):
        return Truthy(int(self) < other)


@pytest.mark.parametrize("num, base", [
    (True, 2), (False, 2), (True, 3), (5, False),
    (5.0, 2), (5.5, 2), (-2.5, 2), (0.0, 2), (0.25, 3), (1e300, 10), (5, 2.0), (7, 2.5),
    (7, -2.0), (5, float("inf")), (-5, float("-inf")), (0, 1), (0, -1), (0, 0.5),
    (decimal.Decimal("1234.5"), 7), (fractions.Fraction(22, 7), 3),
    (OddOrder(-12), 5), (OddOrder(12), 5),
    (Quotient([0, 9]), 2), (Quotient((0, 9, 9)), 2), (Quotient((0,)), 2), (Quotient(5), 2),
    (Quotient(None), 2), (Quotient("09"), 2),
    ("5", 2), (None, 2), (5, "2"), (5, None), (5, 3 + 0j), (0, 0), (5, 0), (-5, 0), (5.0, 0.0),
])
def test_unusual_numbers_and_bases_agree_with_the_plain_algorithm(mirelo, num, base):
    assert outcome(mirelo.changeover, num, base) == outcome(reference.changeover, num, base)


# --- Calling forms and the name used for negative numbers -------------------

def test_arguments_by_position_or_keyword(mirelo):
    assert mirelo.changeover(65, base=3) == "2102"
    assert mirelo.changeover(base=3, num=65) == "2102"
    assert mirelo.changeover(num=-65, base=3) == "2102"


@pytest.mark.parametrize("args, kwargs", [
    ((-5,), {}), ((-5, 2, 2), {}), ((), {"num": -5}), ((-5,), {"num": -5, "base": 2}),
    ((-5, 2), {"radix": 2}), ((), {}),
])
def test_wrong_calls_raise_type_error_and_convert_nothing(mirelo, args, kwargs):
    own = mirelo.changeover
    mirelo.changeover = CallRecorder(answer=lambda *a: "converted")
    with pytest.raises(TypeError):
        own(*args, **kwargs)
    assert mirelo.changeover.calls == []


def test_a_negative_number_goes_through_the_current_name(mirelo):
    own = mirelo.changeover
    mirelo.changeover = CallRecorder(answer=lambda num, base: ["digits of", num, base])
    assert own(-5, 2) == ["digits of", 5, 2]
    assert own(-(2 ** 70), 3) == ["digits of", 2 ** 70, 3]
    assert own(-2.5, base=7) == ["digits of", 2.5, 7]
    assert own(0, 2) == "0" and own(12, 3) == "110"
    assert mirelo.changeover.calls == [((5, 2), {}), ((2 ** 70, 3), {}), ((2.5, 7), {})]


def test_a_negative_number_needs_the_name_bound(mirelo):
    own = mirelo.changeover
    del mirelo.changeover
    assert own(5, 2) == "101"
    with pytest.raises(NameError):
        own(-5, 2)


def test_the_recursion_for_negative_numbers_is_bounded(mirelo):
    own = mirelo.changeover
    # A rebinding that keeps the sign makes the plain algorithm recurse
    # without end: the interpreter's recursion limit stops it.
    mirelo.changeover = lambda num, base: own(-abs(num), base)
    with pytest.raises(RecursionError):
        own(-5, 2)


# --- Arguments on which division makes no progress --------------------------

# The plain loop never ends on these (a base of magnitude 1 or less, a NaN or an
# infinity): the module refuses them with ValueError instead.
NO_PROGRESS = [
    "m.changeover(5, 1)", "m.changeover(-5, 1)", "m.changeover(2 ** 70, 1)",
    "m.changeover(5, -1)", "m.changeover(-(2 ** 70), -1)", "m.changeover(5, True)",
    "m.changeover(5, 1.0)", "m.changeover(5, 0.5)", "m.changeover(5, -0.5)",
    "m.changeover(1e308, 0.5)", "m.changeover(3, 1e-300)",
    "m.changeover(nan, 2)", "m.changeover(inf, 2)", "m.changeover(-inf, 2)",
    "m.changeover(inf, 10 ** 30)", "m.changeover(5, nan)", "m.changeover(nan, nan)",
]


def test_no_progress_raises_value_error_instead_of_hanging(tmp_path):
    assert_value_errors(run_bounded(NO_PROGRESS, tmp_path))
