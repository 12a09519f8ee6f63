"""Imports the module for measurements: the window is created on a virtual
screen (started here when none is set) and its main loop returns at once."""

import atexit
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from headless_module import import_without_main_loop  # noqa: E402
from virtual_display import start_xvfb  # noqa: E402


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
