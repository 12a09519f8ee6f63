"""Stand-in message boxes: the start-up only imports them."""


def showinfo(title=None, message=None, **options):
    raise AssertionError("no message box during start-up")


def showerror(title=None, message=None, **options):
    raise AssertionError("no message box during start-up")
