"""Starts Mirelo like an application: `mirelo-window` and `python -m mirelo`.

The extension module Mirelo_2_5 is the application itself: importing it
opens the window, and the import completes when the window is closed.
"""


def main():
    """Opens the window and returns when it is closed."""
    import Mirelo_2_5  # noqa: F401  (the import runs the window)
