"""Start-up: the order and arguments of every step, the globals it binds, how
it fails, and the window it leaves behind."""

import base64
import json
import os
import random
import sys
import textwrap
import tkinter
import tkinter.messagebox
from pathlib import Path

import pytest

from conftest import run_python

FAKES = Path(__file__).with_name("fakes")

DIRECTION_LABELS = [
    "人语→气泡语", "气泡语→人语", "人语→鸽语", "鸽语→人语",
    "人语→猫语", "猫语→人语", "人语→猴语", "猴语→人语",
]
FUNCTION_NAMES = [
    "changeover", "Translation_smooth", "Translation_disobey", "do_return", "do",
    "translation_paste", "make_icon", "run_icon", "del_file",
]
HINT_TEXT = "翻译的信息都会自动复制到剪贴板，你也可以在下方文本框再次复制 (σﾟ∀ﾟ)σ..:*☆"


def run_json(code, tmp_path, env=None):
    """Runs `code` in a fresh interpreter and returns the JSON it printed last."""
    completed = run_python(code, env=env, tmp_path=tmp_path)
    assert completed.returncode == 0, completed.stderr
    return json.loads(completed.stdout.strip().splitlines()[-1])


# --- The order of the steps, recorded through a stand-in tkinter -----------

RECORDED_START = """
    import json, sys
    import tkinter
    error = None
    try:
        import Mirelo_2_5
    except Exception as exc:
        error = [type(exc).__name__, str(exc)]
    module = sys.modules.get("Mirelo_2_5")
    print(json.dumps({
        "log": tkinter.LOG,
        "error": error,
        "program_temp": getattr(module, "program_temp", None),
        "test_marker": repr(getattr(module, "__test__", None)),
    }))
"""


def recorded_start(tmp_path, **environment):
    env = {"PYTHONPATH": str(FAKES)}
    env.update(environment)
    return run_json(textwrap.dedent(RECORDED_START), tmp_path, env)


@pytest.fixture(scope="module")
def recorded(tmp_path_factory):
    runtime = tmp_path_factory.mktemp("runtime")
    return recorded_start(tmp_path_factory.mktemp("run"), XDG_RUNTIME_DIR=str(runtime))


def widget(kind, *args, options=()):
    return [kind, ["app", *args], [list(option) for option in options]]


def label(text):
    return widget("Label", options=[("bg", "yellow"), ("text", text)])


def pack(name, bound_as=()):
    return ["pack", name, [], [], list(bound_as)]


def test_start_up_runs_to_completion(recorded):
    assert recorded["error"] is None
    assert recorded["test_marker"] == "{}"


def test_window_steps_come_in_order_with_their_exact_arguments(recorded):
    log = [entry for entry in recorded["log"] if entry[0] != "environ.get"]
    title = log[1][1][0]
    program_temp = recorded["program_temp"]
    assert log == [
        ["Tk", [], [], []],
        ["title", [title], ["app"]],
        ["setitem", "app", "bg", "yellow"],
        ["run_icon", ["global:huaji", 1], [], "app", program_temp],
        label("请选择翻译类型："),
        pack("Label#1"),
        ["StringVar", [], []],
        ["set", "StringVar#1", "无", ["depot"]],
        widget("OptionMenu", "StringVar#1", *DIRECTION_LABELS),
        pack("OptionMenu#1"),
        label("请输入要翻译的信息："),
        pack("Label#2"),
        widget("Text"),
        pack("Text#1", ["problem"]),
        widget("Button", options=[("bg", "green"), ("text", "翻译"), ("command", "function:do")]),
        pack("Button#1"),
        widget("Button", options=[("bg", "green"), ("text", "翻译剪贴板内容"),
                                  ("command", "function:translation_paste")]),
        pack("Button#2"),
        label(HINT_TEXT),
        pack("Label#3"),
        label("译文："),
        pack("Label#4"),
        widget("Entry"),
        pack("Entry#1", ["out"]),
        ["mainloop", "app", [], False],
        ["del_file", [program_temp], [], False],
    ]


def test_title_is_quenzari_two_blanks_and_one_line_of_credits(recorded):
    title = recorded["log"][1][1][0]
    assert title.startswith("Quenzari  ")
    credits = title[len("Quenzari  "):]
    assert credits.strip() == credits != ""
    assert "\n" not in title


def test_environment_is_read_between_background_and_icon(recorded):
    names = [entry[0] for entry in recorded["log"]]
    reads = [i for i, name in enumerate(names) if name == "environ.get"]
    assert reads, "the folder path must come from the module's environ"
    assert names.index("setitem") < min(reads) and max(reads) < names.index("run_icon")


@pytest.mark.parametrize("environment, expected", [
    ({"XDG_RUNTIME_DIR": "/run/user/4242"}, "/run/user/4242/Quenzariv2.2"),
    ({"XDG_RUNTIME_DIR": "", "TMPDIR": "/var/tmp/x"}, "/var/tmp/x/Quenzariv2.2-%d"),
    ({"XDG_RUNTIME_DIR": "", "TMPDIR": ""}, "/tmp/Quenzariv2.2-%d"),
])
def test_program_temp_comes_from_the_runtime_or_temporary_folder(tmp_path, environment,
                                                                  expected):
    recorded = recorded_start(tmp_path, **environment)
    if "%d" in expected:
        expected %= os.geteuid()
    assert recorded["error"] is None
    assert recorded["program_temp"] == expected
    assert ["del_file", [expected], [], False] in recorded["log"]


# --- The globals of a started module ----------------------------------------

GLOBAL_SOURCES = [
    ("tkinter", ["Tk", "Label", "StringVar", "Text", "OptionMenu", "Button", "Entry", "END"]),
    ("pyperclip", ["copy", "paste"]),
    ("tkinter.messagebox", ["showinfo", "showerror"]),
    ("base64", ["b64decode"]),
    ("os", ["environ", "makedirs", "remove", "listdir", "rmdir", "walk"]),
    ("os.path", ["exists", "join", "isfile", "isdir"]),
    ("random", ["randint"]),
]


def test_imported_names_are_the_objects_of_their_modules(live_module):
    import pyperclip
    sources = {"tkinter": tkinter, "pyperclip": pyperclip, "tkinter.messagebox": tkinter.messagebox,
               "base64": base64, "os": os, "os.path": os.path, "random": random}
    for source, names in GLOBAL_SOURCES:
        for name in names:
            bound = getattr(live_module, name)
            if source == "pyperclip":
                # pyperclip replaces its own functions once it picks a clipboard.
                assert callable(bound) and bound.__module__ == "pyperclip", name
            else:
                assert bound is getattr(sources[source], name), name


def test_icon_module_names_are_bound_with_shutil_among_them(live_module):
    import def_icon
    import shutil
    public = getattr(def_icon, "__all__", None) or [
        name for name in vars(def_icon) if not name.startswith("_")]
    assert "huaji" in public
    for name in public:
        if name not in FUNCTION_NAMES:
            assert getattr(live_module, name) is getattr(def_icon, name), name
    assert live_module.shutil is shutil


def test_window_globals_are_the_widgets_and_marker_is_empty_dict(live_module):
    children = live_module.app.winfo_children()
    assert isinstance(live_module.app, tkinter.Tk)
    assert isinstance(live_module.depot, tkinter.StringVar)
    assert live_module.problem is children[3]
    assert live_module.out is children[8]
    assert live_module.__test__ == {} and type(live_module.__test__) is dict
    assert live_module.program_temp.endswith("/Quenzariv2.2")


def test_globals_are_exactly_the_table_bound_in_step_order(live_module):
    import def_icon
    public = getattr(def_icon, "__all__", None) or [
        name for name in vars(def_icon) if not name.startswith("_")]
    expected = [name for _, names in GLOBAL_SOURCES for name in names]
    expected += [name for name in public if name not in expected + FUNCTION_NAMES]
    expected += FUNCTION_NAMES + ["app", "program_temp", "depot", "problem", "out", "__test__"]
    bound = [name for name in vars(live_module)
             if not (name.startswith("__") and name != "__test__")]
    assert bound == expected


def test_module_has_no_docstring_and_is_registered(live_module):
    assert live_module.__doc__ is None
    assert live_module.__name__ == "Mirelo_2_5"
    assert sys.modules["Mirelo_2_5"] is live_module


# --- Failures, and imports after them, in fresh interpreters ------------------

PRELUDE = """
    import json, os, sys, types
    import tkinter

    starts = []  # (module, window) for each main window a start-up creates
    real_init = tkinter.Tk.__init__
    def recording_init(self, *args, **kwargs):
        real_init(self, *args, **kwargs)
        starts.append((sys.modules.get("Mirelo_2_5"), self))
    tkinter.Tk.__init__ = recording_init
    tkinter.Tk.mainloop = lambda self, n=0: None

    class Unimportable:
        '''Makes one module fail to import, noting the module being started.'''
        def __init__(self, name):
            self.name, self.seen = name, None
            sys.meta_path.insert(0, self)
        def find_spec(self, name, path=None, target=None):
            if name != self.name:
                return None
            self.seen = sys.modules.get("Mirelo_2_5")
            raise ModuleNotFoundError("No module named %r" % name, name=name)

    def attempt():
        try:
            import Mirelo_2_5
        except Exception as exc:
            return [type(exc).__name__, str(exc)]
        return None

    def report(**values):
        print(json.dumps(values))
"""


def run_scenario(tmp_path, *parts):
    """Runs the prelude and then `parts` in a fresh interpreter on the test
    display, with a private runtime folder; returns what it reported."""
    runtime = tmp_path / "runtime"
    runtime.mkdir(mode=0o700)
    code = "".join(textwrap.dedent(part) for part in (PRELUDE,) + parts)
    return run_json(code, tmp_path, {"XDG_RUNTIME_DIR": str(runtime)})


@pytest.mark.parametrize("missing, bound, unbound", [
    ("pyperclip", ["Tk", "END"], ["copy", "paste", "showinfo"]),
    ("def_icon", ["Tk", "copy", "showerror", "b64decode", "walk", "isdir", "randint"],
     ["changeover", "huaji", "app"]),
])
def test_missing_module_fails_its_step_before_any_window(tmp_path, missing, bound, unbound):
    result = run_scenario(tmp_path, """
        blocker = Unimportable(%r)
        error = attempt()
        names = set(vars(blocker.seen)) if blocker.seen else set()
        report(error=error, windows=len(starts), registered="Mirelo_2_5" in sys.modules,
               bound=sorted(names))
    """ % missing)
    assert result["error"] == ["ModuleNotFoundError", "No module named %r" % missing]
    assert result["windows"] == 0
    assert not result["registered"]
    assert set(bound) <= set(result["bound"])
    assert not set(unbound) & set(result["bound"])


def test_module_lacking_a_listed_name_fails_with_import_error_naming_it(tmp_path):
    result = run_scenario(tmp_path, """
        partial = types.ModuleType("pyperclip")
        partial.copy = lambda text: None
        sys.modules["pyperclip"] = partial
        report(error=attempt(), windows=len(starts))
    """)
    name, message = result["error"]
    assert name == "ImportError" and "'paste'" in message and "pyperclip" in message
    assert result["windows"] == 0


ICONS_WITHOUT_HUAJI = """
    import shutil
    no_huaji = types.ModuleType("def_icon")
    no_huaji.shutil = shutil
    no_huaji.gezi = "AAAA"
    sys.modules["def_icon"] = no_huaji
"""


def test_icon_module_without_huaji_fails_at_the_icon_after_the_window(tmp_path):
    result = run_scenario(tmp_path, ICONS_WITHOUT_HUAJI, """
        error = attempt()
        module, window = starts[0]
        report(error=error, windows=len(starts), title=window.title(), bg=window["bg"],
               children=len(window.winfo_children()), exists=bool(window.winfo_exists()),
               program_temp=module.program_temp, folder=os.path.exists(module.program_temp),
               gezi=module.gezi, registered="Mirelo_2_5" in sys.modules)
    """)
    assert result["error"] == ["NameError", "name 'huaji' is not defined"]
    assert result["windows"] == 1 and result["exists"]
    assert result["title"].startswith("Quenzari  ")
    assert result["bg"] == "yellow"
    assert result["children"] == 0
    assert result["program_temp"] == str(tmp_path / "runtime" / "Quenzariv2.2")
    assert not result["folder"], "no icon may be written before the failing step"
    assert result["gezi"] == "AAAA"
    assert not result["registered"]


def test_failed_start_up_then_new_import_runs_everything_again(tmp_path):
    result = run_scenario(tmp_path, ICONS_WITHOUT_HUAJI, """
        first_error = attempt()
        del sys.modules["def_icon"]
        second_error = attempt()
        import Mirelo_2_5
        (first, first_window), (second, second_window) = starts
        report(first_error=first_error, second_error=second_error, windows=len(starts),
               new_module=first is not second, current=second is Mirelo_2_5,
               new_window=first_window is not second_window,
               first_window_kept=bool(first_window.winfo_exists()),
               first_marked="__test__" in vars(first), second_marker=repr(Mirelo_2_5.__test__),
               widgets=len(second_window.winfo_children()),
               huaji_now=Mirelo_2_5.huaji == sys.modules["def_icon"].huaji)
    """)
    assert result["first_error"][0] == "NameError"
    assert result["second_error"] is None
    assert result["windows"] == 2
    assert result["new_module"] and result["current"] and result["new_window"]
    assert result["first_window_kept"], "a failed start-up undoes nothing"
    assert not result["first_marked"]
    assert result["second_marker"] == "{}"
    assert result["widgets"] == 9
    assert result["huaji_now"]


def test_successful_import_is_not_repeated(tmp_path):
    result = run_scenario(tmp_path, """
        import importlib
        loops = []
        tkinter.Tk.mainloop = lambda self, n=0: loops.append(self)
        error = attempt()
        import Mirelo_2_5 as again
        report(error=error, windows=len(starts), loops=len(loops),
               same=again is starts[0][0] is importlib.import_module("Mirelo_2_5"))
    """)
    assert result == {"error": None, "windows": 1, "loops": 1, "same": True}


def test_folder_exists_during_main_loop_and_is_gone_after(tmp_path):
    result = run_scenario(tmp_path, """
        seen = []
        def mainloop(self, n=0):
            module = sys.modules["Mirelo_2_5"]
            seen.append(sorted(os.listdir(module.program_temp)))
            seen.append("__test__" in vars(module))
        tkinter.Tk.mainloop = mainloop
        error = attempt()
        import Mirelo_2_5
        report(error=error, seen=seen, after=os.path.exists(Mirelo_2_5.program_temp))
    """)
    assert result["error"] is None
    assert result["seen"] == [["1.ico"], False]
    assert not result["after"]


def test_exception_ending_the_main_loop_fails_import_and_keeps_folder(tmp_path):
    result = run_scenario(tmp_path, """
        def broken_loop(self, n=0):
            raise RuntimeError("main loop broke")
        tkinter.Tk.mainloop = broken_loop
        error = attempt()
        module = starts[0][0]
        report(error=error, folder=sorted(os.listdir(module.program_temp)),
               marked="__test__" in vars(module), registered="Mirelo_2_5" in sys.modules)
    """)
    assert result["error"] == ["RuntimeError", "main loop broke"]
    assert result["folder"] == ["1.ico"]
    assert not result["marked"] and not result["registered"]


def test_failing_clean_up_fails_import_and_binds_no_marker(tmp_path):
    result = run_scenario(tmp_path, """
        def loop_then_break_clean_up(self, n=0):
            def failing_del_file(path):
                raise PermissionError("cannot remove " + path)
            sys.modules["Mirelo_2_5"].del_file = failing_del_file
        tkinter.Tk.mainloop = loop_then_break_clean_up
        error = attempt()
        module = starts[0][0]
        report(error=error, program_temp=module.program_temp,
               marked="__test__" in vars(module))
    """)
    assert result["error"] == ["PermissionError", "cannot remove " + result["program_temp"]]
    assert not result["marked"]


# --- The live window ----------------------------------------------------------

WIDGET_TABLE = [
    ("Label", "请选择翻译类型：", "yellow"),
    ("Menubutton", None, None),
    ("Label", "请输入要翻译的信息：", "yellow"),
    ("Text", None, None),
    ("Button", "翻译", "green"),
    ("Button", "翻译剪贴板内容", "green"),
    ("Label", HINT_TEXT, "yellow"),
    ("Label", "译文：", "yellow"),
    ("Entry", None, None),
]


def test_nine_widgets_created_and_packed_in_order(live_module):
    app = live_module.app
    children = app.winfo_children()
    assert [child.winfo_class() for child in children] == [kind for kind, _, _ in WIDGET_TABLE]
    assert app.pack_slaves() == children
    assert isinstance(children[1], tkinter.OptionMenu)


def test_widget_texts_and_colours(live_module):
    for child, (kind, text, colour) in zip(live_module.app.winfo_children(), WIDGET_TABLE):
        if text is not None:
            assert child.cget("text") == text
        if colour is not None:
            assert child.cget("bg") == colour, kind
        else:
            assert child.cget("bg") != "yellow", kind


def test_window_title_and_background(live_module):
    app = live_module.app
    assert app.title().startswith("Quenzari  ")
    assert app.cget("bg") == "yellow"
    # No size is set: the window asks for the natural size of its contents.
    app.update_idletasks()
    size = app.wm_geometry().split("+")[0]
    assert size == "%dx%d" % (app.winfo_reqwidth(), app.winfo_reqheight())
    assert app.wm_resizable() == (True, True)


def test_choice_starts_at_none_and_lists_the_eight_directions(mirelo):
    choice = mirelo.app.winfo_children()[1]
    menu = choice.nametowidget(choice.cget("menu"))
    assert mirelo.depot.get() == "无"
    assert choice.cget("textvariable") == str(mirelo.depot)
    assert menu.index("end") == len(DIRECTION_LABELS) - 1
    assert [menu.entrycget(i, "label") for i in range(len(DIRECTION_LABELS))] == DIRECTION_LABELS
    try:
        menu.invoke(4)
        assert mirelo.depot.get() == "人语→猫语"
        assert choice.cget("text") == "人语→猫语"
    finally:
        mirelo.depot.set("无")


def called_builtins_while(action):
    """The built-in functions that Python code called while `action` ran."""
    called = []

    def profile(frame, event, arg):
        if event == "c_call":
            called.append(arg)

    sys.setprofile(profile)
    try:
        action()
    finally:
        sys.setprofile(None)
    return called


@pytest.mark.parametrize("index, command, other", [
    (4, "do", "translation_paste"),
    (5, "translation_paste", "do"),
])
def test_buttons_call_the_functions_bound_when_they_were_made(mirelo, index, command, other):
    button = mirelo.app.winfo_children()[index]
    original = getattr(mirelo, command)
    rebound = []
    setattr(mirelo, command, lambda: rebound.append(True))
    reported = []
    mirelo.app.report_callback_exception = lambda *info: reported.append(info[0])
    # With no input box and no clipboard the command fails at once, and Tk's
    # handler for callback errors gets the exception.
    mirelo.problem = None
    mirelo.paste = None
    try:
        called = called_builtins_while(button.invoke)
    finally:
        del mirelo.app.report_callback_exception
    assert any(function is original for function in called)
    assert not any(function is getattr(mirelo, other) for function in called)
    assert rebound == []
    assert len(reported) == 1
    assert mirelo.app.winfo_exists()
