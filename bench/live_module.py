"""Imports the module for measurements: the window is created on a virtual
screen (started here when none is set) and its main loop returns at once."""

import os
import sys
import tempfile
import tkinter

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from virtual_display import start_xvfb  # noqa: E402


def load():
    if not os.environ.get("DISPLAY"):
        _, os.environ["DISPLAY"] = start_xvfb()
    runtime = tempfile.mkdtemp(prefix="mirelo-bench-")
    os.environ["XDG_RUNTIME_DIR"] = runtime
    real_mainloop = tkinter.Tk.mainloop
    tkinter.Tk.mainloop = lambda self, n=0: None
    try:
        import Mirelo_2_5
    finally:
        tkinter.Tk.mainloop = real_mainloop
    # The icon does not matter for the figures.
    Mirelo_2_5.run_icon = lambda num_icon, number: None
    return Mirelo_2_5



