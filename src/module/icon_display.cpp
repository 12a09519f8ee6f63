#include "icon_display.hpp"

#include "file_paths.hpp"
#include "icons/ico_picture.hpp"
#include "names.hpp"
#include "platform/rules.hpp"

namespace {

// Far above any real icon file; a bigger file is not read at all.
constexpr std::size_t kLargestIconFile = 16 * 1024 * 1024;

Ref tkinter_name(const char* name) {
    Ref tkinter = Ref::steal(PyImport_ImportModule("tkinter"));
    if (!tkinter) return Ref();
    return Ref::steal(PyObject_GetAttrString(tkinter.get(), name));
}

void raise_not_an_icon(PyObject* path) {
    Ref tcl_error = tkinter_name("TclError");
    if (!tcl_error) return;
    Ref message = Ref::steal(PyUnicode_FromFormat("bitmap \"%S\" not defined", path));
    if (message) PyErr_SetObject(tcl_error.get(), message.get());
}

// A photo image owned by `app`'s interpreter, holding the PNG picture.
Ref photo_image(PyObject* app, const icons::Bytes& png) {
    Ref photo_class = tkinter_name("PhotoImage");
    if (!photo_class) return Ref();
    Ref kwargs = Ref::steal(PyDict_New());
    if (!kwargs) return Ref();
    std::string data = icons::base64_text(png);
    Ref data_text =
        Ref::steal(PyUnicode_FromStringAndSize(data.data(), static_cast<Py_ssize_t>(data.size())));
    Ref format = make_text("png");
    if (!data_text || !format || PyDict_SetItemString(kwargs.get(), "master", app) < 0 ||
        PyDict_SetItemString(kwargs.get(), "data", data_text.get()) < 0 ||
        PyDict_SetItemString(kwargs.get(), "format", format.get()) < 0)
        return Ref();
    return call_with_keywords(photo_class.get(), kwargs.get());
}

bool show_as_photo(PyObject* app, PyObject* path) {
    static const Name iconphoto("iconphoto");
    std::optional<icons::Bytes> png;
    if (std::optional<icons::Bytes> file = read_small_file(path, kLargestIconFile))
        png = icons::largest_picture_png(*file);
    if (!png) {
        raise_not_an_icon(path);
        return false;
    }
    // Tk copies the pixels at this call, so the photo may go right after.
    Ref photo = photo_image(app, *png);
    Ref args = make_tuple(Ref::borrow(Py_False), photo);
    return args && call_method(app, iconphoto, args.get());
}

}  // namespace

bool show_window_icon(PyObject* app, PyObject* path) {
    static const Name iconbitmap("iconbitmap");
    if (!platform::kTkShowsIcoFiles) return show_as_photo(app, path);
    Ref args = make_tuple(Ref::borrow(path));
    return args && call_method(app, iconbitmap, args.get());
}
