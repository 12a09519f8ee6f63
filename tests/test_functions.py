"""The nine module functions as objects: what they are, how they may be
called, and that every name they use is looked up when they run."""

import builtins
import ctypes
import os
import shutil
import subprocess
import types

import pytest

FUNCTION_NAMES = [
    "changeover", "Translation_smooth", "Translation_disobey", "do_return", "do",
    "translation_paste", "make_icon", "run_icon", "del_file",
]

PIGEON_VALUES = ["哩", "鸽", "咕", " "]
PIGEON_NUMBERS = [2, 1, 0, " "]


@pytest.fixture
def fresh_icon_folder(mirelo):
    """The icon folder is written by some calls here; leave none behind."""
    shutil.rmtree(mirelo.program_temp, ignore_errors=True)
    yield mirelo.program_temp
    shutil.rmtree(mirelo.program_temp, ignore_errors=True)


# --- What the functions are ---------------------------------------------------

@pytest.mark.parametrize("name", FUNCTION_NAMES)
def test_each_function_is_a_plain_builtin_of_the_module(live_module, name):
    function = getattr(live_module, name)
    assert type(function) is types.BuiltinFunctionType
    assert function.__name__ == name
    assert function.__qualname__ == name
    assert function.__module__ == "Mirelo_2_5"
    assert function.__doc__ is None
    assert function.__self__ is live_module
    assert repr(function) == "<built-in function %s>" % name


def test_init_function_only_hands_out_the_module_definition(live_module):
    library = ctypes.PyDLL(live_module.__file__)
    init = library.PyInit_Mirelo_2_5
    # The definition is a static object: take it as a borrowed reference.
    init.restype = ctypes.c_void_p
    definition = ctypes.cast(init(), ctypes.py_object).value
    assert type(definition).__name__ == "moduledef"


def test_init_function_is_the_only_exported_symbol(live_module):
    listing = subprocess.run(["nm", "-D", "--defined-only", live_module.__file__],
                             stdout=subprocess.PIPE, universal_newlines=True, check=True).stdout
    symbols = [line.split()[-1] for line in listing.splitlines() if line.strip()]
    assert symbols == ["PyInit_Mirelo_2_5"]


# --- Calling forms --------------------------------------------------------------

def keyword_calls(mirelo):
    """For each function taking its parameters by position or keyword: the
    function, its arguments by position, and their parameter names."""
    encoded = mirelo.Translation_smooth("Hi", PIGEON_VALUES, PIGEON_NUMBERS, mirelo.gezi, 3)
    return [
        (mirelo.changeover, (200, 3), ("num", "base")),
        (mirelo.Translation_smooth, ("Hi", PIGEON_VALUES, PIGEON_NUMBERS, mirelo.gezi, 3),
         ("imput", "value_list", "numbers_list", "icon", "icon_num")),
        (mirelo.Translation_disobey, (encoded, PIGEON_VALUES, PIGEON_NUMBERS, mirelo.gezi, 3),
         ("imput", "value_list", "numbers_list", "icon", "icon_num")),
        (mirelo.make_icon, (mirelo.tabbit, 4), ("num_icon", "number")),
        (mirelo.run_icon, (mirelo.tabbit, 4), ("num_icon", "number")),
    ]


def test_parameters_may_be_given_by_position_or_keyword(mirelo, fresh_icon_folder):
    for function, args, names in keyword_calls(mirelo):
        by_position = function(*args)
        by_keyword = function(**dict(reversed(list(zip(names, args)))))
        mixed = function(*args[:1], **dict(zip(names[1:], args[1:])))
        assert by_position == by_keyword == mixed, function.__name__


def test_wrong_calls_of_keyword_functions_raise_type_error(mirelo, fresh_icon_folder):
    for function, args, names in keyword_calls(mirelo):
        wrong_calls = [
            ((), {}),
            (args[:-1], {}),
            (args + (None,), {}),
            (args, {"extra": 1}),
            (args, {names[0]: args[0]}),
            (args[:-1], {"Number": args[-1]}),
        ]
        for wrong_args, wrong_keywords in wrong_calls:
            with pytest.raises(TypeError):
                function(*wrong_args, **wrong_keywords)


def test_a_wrong_call_does_nothing(mirelo, fresh_icon_folder):
    made = []
    mirelo.make_icon = lambda *args, **kwargs: made.append(args)
    with pytest.raises(TypeError):
        mirelo.run_icon(mirelo.huaji, 1, 2)
    assert made == []
    assert not os.path.exists(fresh_icon_folder)


@pytest.mark.parametrize("name", ["do_return", "del_file"])
def test_one_argument_functions_take_exactly_one_positional(mirelo, name, tmp_path):
    function = getattr(mirelo, name)
    keyword = {"do_return": "imput", "del_file": "filePath"}[name]
    (tmp_path / "kept.txt").write_text("kept")
    for wrong_args, wrong_keywords in [((), {}), ((str(tmp_path), "x"), {}),
                                       ((), {keyword: str(tmp_path)}),
                                       ((str(tmp_path),), {"x": 1})]:
        with pytest.raises(TypeError):
            function(*wrong_args, **wrong_keywords)
    assert (tmp_path / "kept.txt").read_text() == "kept"


@pytest.mark.parametrize("name", ["do", "translation_paste"])
def test_button_functions_take_no_arguments(mirelo, name):
    function = getattr(mirelo, name)
    for wrong_args, wrong_keywords in [((1,), {}), ((), {"x": 1}), ((None, None), {})]:
        with pytest.raises(TypeError):
            function(*wrong_args, **wrong_keywords)


# --- Late binding -----------------------------------------------------------------

def test_rebound_global_is_used_by_the_next_call(mirelo, fresh_icon_folder):
    real_make_icon = mirelo.make_icon
    made = []

    def spy(num_icon, number):
        made.append((num_icon, number))
        return real_make_icon(num_icon, number)

    mirelo.make_icon = spy
    assert mirelo.run_icon(mirelo.gezi, 3) is None
    assert made == [(mirelo.gezi, 3)]
    mirelo.make_icon = real_make_icon
    mirelo.run_icon(mirelo.gezi, 3)
    assert made == [(mirelo.gezi, 3)]


def test_name_missing_from_module_is_taken_from_builtins(mirelo, fresh_icon_folder):
    asked = []

    def exists(path):
        asked.append(path)
        return True

    del mirelo.exists
    builtins.exists = exists
    try:
        path = mirelo.make_icon(mirelo.huaji, 1)
    finally:
        del builtins.exists
    assert asked[0] == path
    assert not os.path.exists(fresh_icon_folder), "an existing file is never rewritten"


def test_name_bound_nowhere_raises_name_error_naming_it(mirelo, fresh_icon_folder):
    del mirelo.exists
    with pytest.raises(NameError, match="'exists'"):
        mirelo.make_icon(mirelo.huaji, 1)

