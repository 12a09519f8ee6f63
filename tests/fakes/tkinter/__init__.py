"""A recording stand-in for tkinter, put first on the module search path of a
child interpreter. Every call the start-up makes is appended to `LOG` with
its arguments described as plain data, so a test can compare the sequence
exactly and without a display.

`Tk()` is also the hook into the start-up: it runs after the module functions
are bound and before anything else reads them, so it replaces `environ`,
`run_icon` and `del_file` of the module being imported with recorders."""

import os
import sys

LOG = []
MODULE_NAME = "Mirelo_2_5"
END = "end"

_names = {}
_counts = {}


def _module():
    return sys.modules[MODULE_NAME]


def _bound_as(value):
    """The globals of the module that hold `value` right now, sorted."""
    return sorted(name for name, bound in vars(_module()).items() if bound is value)


def describe(value):
    """Plain data for a value the start-up passed: known objects by name."""
    if id(value) in _names:
        return _names[id(value)]
    for name in ("do", "translation_paste"):
        function = getattr(_module(), name, None)
        if value is function and type(value).__name__ == "builtin_function_or_method":
            return "function:" + name
    if isinstance(value, str) and value is getattr(_module(), "huaji", None):
        return "global:huaji"
    if isinstance(value, (str, int)) or value is None:
        return value
    return "object:" + type(value).__name__


def _name_new(value, kind):
    _counts[kind] = _counts.get(kind, 0) + 1
    _names[id(value)] = "%s#%d" % (kind, _counts[kind])


def _record(*entry):
    LOG.append(list(entry))


class _Recorded:
    """A widget or variable: records its creation, `pack` and `set`."""

    def __init__(self, *args, **kwargs):
        kind = type(self).__name__
        _name_new(self, kind)
        _record(kind, [describe(a) for a in args], [[k, describe(v)] for k, v in kwargs.items()])

    def pack(self, *args, **kwargs):
        _record("pack", describe(self), [describe(a) for a in args], sorted(kwargs),
                _bound_as(self))

    def set(self, value):
        _record("set", describe(self), describe(value), _bound_as(self))


class Label(_Recorded):
    pass


class Text(_Recorded):
    pass


class OptionMenu(_Recorded):
    pass


class Button(_Recorded):
    pass


class Entry(_Recorded):
    pass


class StringVar(_Recorded):
    pass


class _RecordingEnviron:
    def get(self, *args):
        value = os.environ.get(*args)
        _record("environ.get", list(args), value)
        return value


def _record_run_icon(*args, **kwargs):
    module = _module()
    _record("run_icon", [describe(a) for a in args], sorted(kwargs),
            describe(getattr(module, "app", None)), getattr(module, "program_temp", None))
    # Later steps and the globals check see the real environment again.
    module.environ = os.environ


def _record_del_file(*args, **kwargs):
    _record("del_file", [describe(a) for a in args], sorted(kwargs),
            "__test__" in vars(_module()))


class Tk:
    def __init__(self, *args, **kwargs):
        _names[id(self)] = "app"
        module = _module()
        _record("Tk", [describe(a) for a in args], sorted(kwargs), _bound_as(self))
        module.environ = _RecordingEnviron()
        module.run_icon = _record_run_icon
        module.del_file = _record_del_file

    def title(self, *args):
        _record("title", [describe(a) for a in args], _bound_as(self))

    def __setitem__(self, key, value):
        _record("setitem", describe(self), key, describe(value))

    def mainloop(self, *args):
        _record("mainloop", describe(self), [describe(a) for a in args],
                "__test__" in vars(_module()))
