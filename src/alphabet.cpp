#include "alphabet.hpp"

#include "functions.hpp"
#include "unicode_access.hpp"

namespace {

bool is_plain_sequence(PyObject* object) {
    return PyList_CheckExact(object) || PyTuple_CheckExact(object);
}

// The interpreter's own check of replace()'s arguments raises the exact error.
void raise_replace_error(PyObject* old_text, PyObject* new_text) {
    Ref empty = Ref::steal(PyUnicode_FromStringAndSize("", 0));
    if (!empty) return;
    Ref result = Ref::steal(PyObject_CallMethod(empty.get(), "replace", "OO", old_text, new_text));
    if (result) PyErr_SetString(PyExc_TypeError, "replace() arguments must be str");
}

// str() of a digit entry, or nothing for an entry whose str() is not plain.
Ref text_of_number_entry(PyObject* entry) {
    if (PyUnicode_CheckExact(entry)) return Ref::borrow(entry);
    if (PyLong_CheckExact(entry)) return Ref::steal(PyObject_Str(entry));
    return Ref();
}

}  // namespace

AlphabetRead read_alphabet(PyObject* value_list, PyObject* numbers_list, Py_ssize_t count,
                           PassOrder order, std::vector<engine::Pass>& passes) {
    if (!is_plain_sequence(value_list) || !is_plain_sequence(numbers_list))
        return AlphabetRead::generic;
    passes.reserve(std::size_t(count > 0 ? count : 0));
    for (Py_ssize_t x = 0; x < count; ++x) {
        Ref index = Ref::steal(PyLong_FromSsize_t(x));
        if (!index) return AlphabetRead::failed;
        Ref syllable, number;
        if (order == PassOrder::syllables_to_digits) {
            syllable = Ref::steal(PyObject_GetItem(value_list, index.get()));
            if (!syllable) return AlphabetRead::failed;
        }
        number = Ref::steal(PyObject_GetItem(numbers_list, index.get()));
        if (!number) return AlphabetRead::failed;
        Ref number_text = text_of_number_entry(number.get());
        if (!number_text) return PyErr_Occurred() ? AlphabetRead::failed : AlphabetRead::generic;
        if (order == PassOrder::digits_to_syllables) {
            syllable = Ref::steal(PyObject_GetItem(value_list, index.get()));
            if (!syllable) return AlphabetRead::failed;
        }
        if (!PyUnicode_Check(syllable.get())) {
            if (order == PassOrder::digits_to_syllables)
                raise_replace_error(number_text.get(), syllable.get());
            else
                raise_replace_error(syllable.get(), number_text.get());
            return AlphabetRead::failed;
        }
        if (!ready(syllable.get()) || !ready(number_text.get())) return AlphabetRead::failed;
        engine::Text syllable_text = text_of(syllable.get());
        engine::Text digits_text = text_of(number_text.get());
        if (order == PassOrder::digits_to_syllables)
            passes.push_back({std::move(digits_text), std::move(syllable_text)});
        else
            passes.push_back({std::move(syllable_text), std::move(digits_text)});
    }
    return AlphabetRead::native;
}

bool is_native_changeover(PyObject* function) {
    return PyCFunction_Check(function) &&
           PyCFunction_GET_FUNCTION(function) ==
               reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(changeover));
}
