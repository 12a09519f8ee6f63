#include "alphabet_lists.hpp"

#include <algorithm>

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

// str() of an int from 0 to 9, made once: the alphabets' usual entries.
Ref text_of_digit(long digit) {
    static PyObject* texts[10] = {};  // never released, like the interpreter's own small ints
    if (!texts[digit]) texts[digit] = PyUnicode_FromOrdinal(int('0' + digit));
    return Ref::borrow(texts[digit]);
}

// Whether an exact int is one of 0 to 9, and which.
bool is_digit_int(PyObject* entry, long& digit) {
    int overflow = 0;
    digit = PyLong_AsLongAndOverflow(entry, &overflow);
    return overflow == 0 && digit >= 0 && digit <= 9;
}

// str() of a digit entry, or nothing for an entry whose str() is not plain.
Ref text_of_number_entry(PyObject* entry) {
    if (PyUnicode_CheckExact(entry)) return Ref::borrow(entry);
    if (!PyLong_CheckExact(entry)) return Ref();
    long digit = 0;
    if (is_digit_int(entry, digit)) {
        if (Ref text = text_of_digit(digit)) return text;
        PyErr_Clear();  // no memory for the kept text: the interpreter's own then
    }
    return Ref::steal(PyObject_Str(entry));
}

// sequence[x] of a list or tuple (both exact) within its length, or null.
PyObject* entry_within(PyObject* sequence, Py_ssize_t x) {
    if (PyList_CheckExact(sequence))
        return x < PyList_GET_SIZE(sequence) ? PyList_GET_ITEM(sequence, x) : nullptr;
    return x < PyTuple_GET_SIZE(sequence) ? PyTuple_GET_ITEM(sequence, x) : nullptr;
}

// sequence[x] of a list or tuple (both exact): the entry itself, or past the
// end the interpreter's own IndexError.
Ref entry_of(PyObject* sequence, Py_ssize_t x) {
    if (PyObject* entry = entry_within(sequence, x)) return Ref::borrow(entry);
    Ref index = Ref::steal(PyLong_FromSsize_t(x));
    return index ? Ref::steal(PyObject_GetItem(sequence, index.get())) : Ref();
}

}  // namespace

AlphabetRead read_alphabet(PyObject* value_list, PyObject* numbers_list, Py_ssize_t count,
                           PassOrder order, std::vector<engine::Pass>& passes) {
    if (!is_plain_sequence(value_list) || !is_plain_sequence(numbers_list))
        return AlphabetRead::generic;
    passes.reserve(std::size_t(count > 0 ? count : 0));
    for (Py_ssize_t x = 0; x < count; ++x) {
        Ref syllable, number;
        if (order == PassOrder::syllables_to_digits) {
            syllable = entry_of(value_list, x);
            if (!syllable) return AlphabetRead::failed;
        }
        number = entry_of(numbers_list, x);
        if (!number) return AlphabetRead::failed;
        Ref number_text = text_of_number_entry(number.get());
        if (!number_text) return PyErr_Occurred() ? AlphabetRead::failed : AlphabetRead::generic;
        if (order == PassOrder::digits_to_syllables) {
            syllable = entry_of(value_list, x);
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
