#include "startup.hpp"

#include <cstdlib>
#include <initializer_list>
#include <string>

#include "engine/kernels/route.hpp"
#include "functions.hpp"
#include "icon_folder.hpp"
#include "languages/languages.hpp"
#include "names.hpp"

namespace {

const char kTitle[] = "Quenzari  由 Mirelo 小组用心制作，祝你翻译愉快";
const char kInitialChoice[] = "无";

Ref text_tuple(std::initializer_list<const char*> texts) {
    Ref tuple = Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(texts.size())));
    if (!tuple) return Ref();
    Py_ssize_t i = 0;
    for (const char* text : texts) {
        PyObject* item = PyUnicode_FromString(text);
        if (!item) return Ref();
        PyTuple_SET_ITEM(tuple.get(), i++, item);
    }
    return tuple;
}

// `from package import name` falls back to an already imported submodule.
Ref imported_name(PyObject* package, const char* package_name, const char* name) {
    Ref value = Ref::steal(PyObject_GetAttrString(package, name));
    if (value || !PyErr_ExceptionMatches(PyExc_AttributeError)) return value;
    PyErr_Clear();
    Ref full_name = Ref::steal(PyUnicode_FromFormat("%s.%s", package_name, name));
    if (!full_name) return Ref();
    value = Ref::borrow(PyDict_GetItemWithError(PyImport_GetModuleDict(), full_name.get()));
    if (value || PyErr_Occurred()) return value;
    Ref file = Ref::steal(PyObject_GetAttrString(package, "__file__"));
    if (!file) PyErr_Clear();
    Ref message = Ref::steal(
        file ? PyUnicode_FromFormat("cannot import name '%s' from '%s' (%S)", name, package_name,
                                    file.get())
             : PyUnicode_FromFormat("cannot import name '%s' from '%s' (unknown location)", name,
                                    package_name));
    Ref name_object = make_text(package_name);
    if (message && name_object)
        PyErr_SetImportError(message.get(), name_object.get(), file ? file.get() : Py_None);
    return Ref();
}

// from <module_name> import <names...>
bool import_from(PyObject* module, const char* module_name,
                 std::initializer_list<const char*> names) {
    Ref fromlist = text_tuple(names);
    if (!fromlist) return false;
    Ref imported = Ref::steal(PyImport_ImportModuleLevel(module_name, PyModule_GetDict(module),
                                                         nullptr, fromlist.get(), 0));
    if (!imported) return false;
    for (const char* name : names) {
        Ref value = imported_name(imported.get(), module_name, name);
        if (!value || PyDict_SetItemString(PyModule_GetDict(module), name, value.get()) < 0)
            return false;
    }
    return true;
}

Ref public_names(PyObject* imported) {
    Ref all = Ref::steal(PyObject_GetAttrString(imported, "__all__"));
    if (all || !PyErr_ExceptionMatches(PyExc_AttributeError)) return all;
    PyErr_Clear();
    Ref keys = Ref::steal(PyMapping_Keys(PyModule_GetDict(imported)));
    if (!keys) return Ref();
    Ref names = Ref::steal(PyList_New(0));
    if (!names) return Ref();
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(keys.get()); ++i) {
        PyObject* key = PyList_GET_ITEM(keys.get(), i);
        if (PyUnicode_Check(key) && PyUnicode_READ_CHAR(key, 0) == '_') continue;
        if (PyList_Append(names.get(), key) < 0) return Ref();
    }
    return names;
}

// from def_icon import *
bool import_all_from(PyObject* module, const char* module_name) {
    Ref fromlist = text_tuple({"*"});
    if (!fromlist) return false;
    Ref imported = Ref::steal(PyImport_ImportModuleLevel(module_name, PyModule_GetDict(module),
                                                         nullptr, fromlist.get(), 0));
    if (!imported) return false;
    Ref names = public_names(imported.get());
    if (!names) return false;
    for (Py_ssize_t i = 0;; ++i) {
        Ref name = Ref::steal(PySequence_GetItem(names.get(), i));
        if (!name) {
            if (!PyErr_ExceptionMatches(PyExc_IndexError)) return false;
            PyErr_Clear();
            return true;
        }
        if (!PyUnicode_Check(name.get())) {
            PyErr_Format(PyExc_TypeError, "Item in %s.__all__ must be str, not %.100s", module_name,
                         Py_TYPE(name.get())->tp_name);
            return false;
        }
        Ref value = Ref::steal(PyObject_GetAttr(imported.get(), name.get()));
        if (!value || PyDict_SetItem(PyModule_GetDict(module), name.get(), value.get()) < 0)
            return false;
    }
}

bool run_imports(PyObject* module) {
    return import_from(
               module, "tkinter",
               {"Tk", "Label", "StringVar", "Text", "OptionMenu", "Button", "Entry", "END"}) &&
           import_from(module, "pyperclip", {"copy", "paste"}) &&
           import_from(module, "tkinter.messagebox", {"showinfo", "showerror"}) &&
           import_from(module, "base64", {"b64decode"}) &&
           import_from(module, "os",
                       {"environ", "makedirs", "remove", "listdir", "rmdir", "walk"}) &&
           import_from(module, "os.path", {"exists", "join", "isfile", "isdir"}) &&
           import_from(module, "random", {"randint"}) && import_all_from(module, "def_icon");
}

struct Option {
    const char* key;
    const char* text;              // the option's value as text, or
    const Name* global = nullptr;  // the value of this global
};

// Calls the widget class `kind` with `app`, extra positional arguments and
// options in the order given.
Ref create_widget(PyObject* module, const Name& kind, std::initializer_list<Option> options,
                  PyObject* extra_args = nullptr) {
    static const Name app_name("app");
    Ref widget_class = lookup_global(module, kind);
    if (!widget_class) return Ref();
    Ref app = lookup_global(module, app_name);
    if (!app) return Ref();
    Ref args = Ref::steal(PyTuple_New(1 + (extra_args ? PyTuple_GET_SIZE(extra_args) : 0)));
    if (!args) return Ref();
    PyTuple_SET_ITEM(args.get(), 0, app.release());
    for (Py_ssize_t i = 0; extra_args && i < PyTuple_GET_SIZE(extra_args); ++i) {
        Py_INCREF(PyTuple_GET_ITEM(extra_args, i));
        PyTuple_SET_ITEM(args.get(), 1 + i, PyTuple_GET_ITEM(extra_args, i));
    }
    Ref kwargs;
    if (options.size() != 0) {
        kwargs = Ref::steal(PyDict_New());
        if (!kwargs) return Ref();
    }
    for (const Option& option : options) {
        Ref value = option.global ? lookup_global(module, *option.global) : make_text(option.text);
        if (!value || PyDict_SetItemString(kwargs.get(), option.key, value.get()) < 0) return Ref();
    }
    return call(widget_class.get(), args.get(), kwargs.get());
}

bool pack(const Ref& widget) {
    static const Name pack_name("pack");
    return widget && call_method(widget.get(), pack_name);
}

const Name kLabel("Label"), kButton("Button");

bool add_label(PyObject* module, const char* text) {
    return pack(create_widget(module, kLabel, {{"bg", "yellow"}, {"text", text}}));
}

bool add_button(PyObject* module, const char* text, const Name& command) {
    return pack(create_widget(module, kButton,
                              {{"bg", "green"}, {"text", text}, {"command", nullptr, &command}}));
}

// Creates the widget, binds it to `global`, then packs it.
bool add_bound_widget(PyObject* module, const Name& kind, const Name& global) {
    Ref widget = create_widget(module, kind, {});
    if (!widget || !bind_global(module, global, widget.get())) return false;
    Ref bound = lookup_global(module, global);
    return pack(bound);
}

bool create_main_window(PyObject* module) {
    static const Name tk("Tk"), app("app"), title("title");
    Ref window = call_global(module, tk);
    if (!window || !bind_global(module, app, window.get())) return false;
    Ref title_args = text_tuple({kTitle});
    if (!title_args) return false;
    window = lookup_global(module, app);
    if (!window || !call_method(window.get(), title, title_args.get())) return false;
    window = lookup_global(module, app);
    Ref key = make_text("bg"), colour = make_text("yellow");
    return window && key && colour && PyObject_SetItem(window.get(), key.get(), colour.get()) == 0;
}

bool set_program_temp(PyObject* module) {
    static const Name program_temp("program_temp");
    Ref folder = program_temp_value(module);
    return folder && bind_global(module, program_temp, folder.get());
}

bool show_startup_icon(PyObject* module) {
    static const Name run_icon_name("run_icon"), huaji("huaji");
    Ref function = lookup_global(module, run_icon_name);
    if (!function) return false;
    Ref args = make_tuple(lookup_global(module, huaji), make_int(1));
    return args && call(function.get(), args.get());
}

bool create_direction_choice(PyObject* module) {
    static const Name string_var("StringVar"), depot("depot"), set("set"),
        option_menu("OptionMenu");
    Ref variable = call_global(module, string_var);
    if (!variable || !bind_global(module, depot, variable.get())) return false;
    Ref initial = text_tuple({kInitialChoice});
    variable = lookup_global(module, depot);
    if (!initial || !variable || !call_method(variable.get(), set, initial.get())) return false;
    Ref extra = Ref::steal(PyTuple_New(1 + languages::row_count));
    variable = lookup_global(module, depot);
    if (!extra || !variable) return false;
    PyTuple_SET_ITEM(extra.get(), 0, variable.release());
    for (std::size_t i = 0; i < languages::row_count; ++i) {
        PyObject* label = PyUnicode_FromString(languages::rows[i].label);
        if (!label) return false;
        PyTuple_SET_ITEM(extra.get(), 1 + static_cast<Py_ssize_t>(i), label);
    }
    return pack(create_widget(module, option_menu, {}, extra.get()));
}

bool build_widgets(PyObject* module) {
    static const Name text("Text"), problem("problem"), entry("Entry"), out("out"), do_name("do"),
        paste_name("translation_paste");
    return add_label(module, "请选择翻译类型：") && create_direction_choice(module) &&
           add_label(module, "请输入要翻译的信息：") && add_bound_widget(module, text, problem) &&
           add_button(module, "翻译", do_name) &&
           add_button(module, "翻译剪贴板内容", paste_name) &&
           add_label(module,
                     "翻译的信息都会自动复制到剪贴板，你也可以在下方文本框再次复制 "
                     "(σﾟ∀ﾟ)σ..:*☆") &&
           add_label(module, "译文：") && add_bound_widget(module, entry, out);
}

bool run_main_loop(PyObject* module) {
    static const Name app("app"), mainloop("mainloop");
    Ref window = lookup_global(module, app);
    return window && call_method(window.get(), mainloop);
}

bool remove_icon_folder(PyObject* module) {
    static const Name del_file_name("del_file"), program_temp("program_temp");
    Ref function = lookup_global(module, del_file_name);
    if (!function) return false;
    Ref args = make_tuple(lookup_global(module, program_temp));
    return args && call(function.get(), args.get());
}

// The readers' route, once for the process; a value the processor cannot
// take stops the import before anything else is done.
bool choose_route() {
    engine::Route route;
    std::string error;
    if (!engine::route_named(std::getenv("MIRELO_KERNEL"), route, error)) {
        PyErr_SetString(PyExc_ImportError, error.c_str());
        return false;
    }
    engine::choose_route(route);
    return true;
}

bool bind_test_marker(PyObject* module) {
    static const Name test("__test__");
    Ref marker = Ref::steal(PyDict_New());
    return marker && bind_global(module, test, marker.get());
}

}  // namespace

bool run_startup(PyObject* module) {
    return choose_route() && cache_builtins() && run_imports(module) && bind_functions(module) &&
           create_main_window(module) && set_program_temp(module) && show_startup_icon(module) &&
           build_widgets(module) && run_main_loop(module) && remove_icon_folder(module) &&
           bind_test_marker(module);
}
