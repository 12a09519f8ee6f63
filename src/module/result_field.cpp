#include "result_field.hpp"

#include "names.hpp"

namespace {

const Name kOut("out"), kEnd("END"), kDelete("delete"), kInsert("insert");

bool empty_result_field(PyObject* module) {
    Ref field = lookup_global(module, kOut);
    if (!field) return false;
    Ref args = make_tuple(make_int(0), lookup_global(module, kEnd));
    return args && call_method(field.get(), kDelete, args.get());
}

bool insert_into_result_field(PyObject* module, PyObject* text) {
    Ref field = lookup_global(module, kOut);
    if (!field) return false;
    Ref args = make_tuple(make_int(0), Ref::borrow(text));
    return args && call_method(field.get(), kInsert, args.get());
}

}  // namespace

bool replace_result_text(PyObject* module, PyObject* text) {
    return empty_result_field(module) && insert_into_result_field(module, text);
}
