"""Imports Mirelo_2_5 without entering its main loop: the start-up completes
and the window stays alive for scripts (benchmarks, fuzzing, leak checks)
to call the module's functions directly. Needs a display."""

import tkinter


def import_without_main_loop():
    real_mainloop = tkinter.Tk.mainloop
    tkinter.Tk.mainloop = lambda self, n=0: None
    try:
        import Mirelo_2_5
    finally:
        tkinter.Tk.mainloop = real_mainloop
    return Mirelo_2_5
