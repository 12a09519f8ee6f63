"""Imports the module for measurements: the window is created on a virtual
screen (started here when none is set) and its main loop returns at once."""

import atexit
import os
import tempfile

from tools.headless_module import import_without_main_loop
from tools.virtual_display import start_xvfb


def load():
    if not os.environ.get("DISPLAY"):
        display, os.environ["DISPLAY"] = start_xvfb()
        # The virtual screen lasts as long as the measurement, not longer.
        atexit.register(display.terminate)
    runtime = tempfile.mkdtemp(prefix="mirelo-bench-")
    os.environ["XDG_RUNTIME_DIR"] = runtime
    module = import_without_main_loop()
    # The icon does not matter for the figures.
    module.run_icon = lambda num_icon, number: None
    return module
