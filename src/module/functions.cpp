#include "functions.hpp"

#include "names.hpp"

#define KEYWORD_FUNCTION(name)                                                       \
    {                                                                                \
#name, reinterpret_cast < PyCFunction>(reinterpret_cast <void (*)()>(name)), \
            METH_VARARGS | METH_KEYWORDS, nullptr                                    \
    }

static PyMethodDef function_table[] = {
    KEYWORD_FUNCTION(changeover),
    KEYWORD_FUNCTION(Translation_smooth),
    KEYWORD_FUNCTION(Translation_disobey),
    {"do_return", do_return, METH_O, nullptr},
    {"do", do_, METH_NOARGS, nullptr},
    {"translation_paste", translation_paste, METH_NOARGS, nullptr},
    KEYWORD_FUNCTION(make_icon),
    KEYWORD_FUNCTION(run_icon),
    {"del_file", del_file, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

bool bind_functions(PyObject* module) {
    Ref module_name = Ref::steal(PyUnicode_FromString("Mirelo_2_5"));
    if (!module_name) return false;
    PyObject* namespace_dict = PyModule_GetDict(module);
    for (PyMethodDef* def = function_table; def->ml_name; ++def) {
        Ref function = Ref::steal(PyCFunction_NewEx(def, module, module_name.get()));
        if (!function || PyDict_SetItemString(namespace_dict, def->ml_name, function.get()) < 0)
            return false;
    }
    return true;
}
