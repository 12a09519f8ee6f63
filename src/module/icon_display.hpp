// How an icon file becomes the icon of the main window.
#pragma once

#include "pyref.hpp"

// `app.iconbitmap(path)` where Tk takes .ico files (Windows). Elsewhere the
// file's largest picture goes to `wm iconphoto`; a file that is no icon
// raises tkinter's TclError, as iconbitmap does.
bool show_window_icon(PyObject* app, PyObject* path);
