#include "translation_common.hpp"

#include "names.hpp"

bool parse_translation_arguments(const char* format, PyObject* args, PyObject* kwargs,
                                 TranslationArguments& parsed) {
    static const char* keywords[] = {"imput", "value_list", "numbers_list",
                                     "icon",  "icon_num",   nullptr};
    return PyArg_ParseTupleAndKeywords(args, kwargs, format, const_cast<char**>(keywords),
                                       &parsed.imput, &parsed.value_list, &parsed.numbers_list,
                                       &parsed.icon, &parsed.icon_num) != 0;
}

bool show_language_icon(PyObject* module, const TranslationArguments& arguments) {
    static const Name run_icon("run_icon");
    Ref function = lookup_global(module, run_icon);
    if (!function) return false;
    Ref args = make_tuple(Ref::borrow(arguments.icon), Ref::borrow(arguments.icon_num));
    return args && call(function.get(), args.get());
}

Ref range_of(Py_ssize_t count) {
    Ref args = make_tuple(Ref::steal(PyLong_FromSsize_t(count)));
    return args ? call(cached_builtins().range.get(), args.get()) : Ref();
}
