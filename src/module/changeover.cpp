// changeover(num, base): the digits of a number in a base.
#include "engine/base_digits.hpp"
#include "functions.hpp"
#include "names.hpp"
#include "unicode_access.hpp"

namespace {

const Name kChangeover("changeover");

// A negative number is converted by the module's current `changeover`, as
// the absolute value with the same base.
PyObject* convert_absolute_value(PyObject* module, PyObject* num, PyObject* base) {
    Ref absolute = Ref::steal(PyNumber_Absolute(num));
    if (!absolute) return nullptr;
    Ref function = lookup_global(module, kChangeover);
    if (!function) return nullptr;
    Ref args = make_tuple(absolute, Ref::borrow(base));
    if (!args || Py_EnterRecursiveCall(" in changeover")) return nullptr;
    Ref result = call(function.get(), args.get());
    Py_LeaveRecursiveCall();
    return result.release();
}

bool unpack_pair(PyObject* pair, Ref& first, Ref& second) {
    if (PyTuple_CheckExact(pair) && PyTuple_GET_SIZE(pair) == 2) {
        first = Ref::borrow(PyTuple_GET_ITEM(pair, 0));
        second = Ref::borrow(PyTuple_GET_ITEM(pair, 1));
        return true;
    }
    Ref iterator = Ref::steal(PyObject_GetIter(pair));
    if (!iterator) {
        PyErr_Format(PyExc_TypeError, "cannot unpack non-iterable %.200s object",
                     Py_TYPE(pair)->tp_name);
        return false;
    }
    first = Ref::steal(PyIter_Next(iterator.get()));
    if (first) second = Ref::steal(PyIter_Next(iterator.get()));
    if (!first || !second) {
        if (!PyErr_Occurred())
            PyErr_Format(PyExc_ValueError, "not enough values to unpack (expected 2, got %d)",
                         first ? 1 : 0);
        return false;
    }
    Ref extra = Ref::steal(PyIter_Next(iterator.get()));
    if (extra) PyErr_SetString(PyExc_ValueError, "too many values to unpack (expected 2)");
    return !PyErr_Occurred();
}

// Repeated division never reaches 0 when the quotient is not a number, or
// stops shrinking for two steps running (a base of 1 or -1, a base between
// -1 and 1, an infinite number). Types without abs() or ordering are trusted.
class ProgressGuard {
  public:
    bool check(PyObject* previous, PyObject* quotient, PyObject* base) {
        if (is_not_a_number(quotient)) return fail(base);
        const int stalled = not_shrinking(previous, quotient);
        stalled_steps_ = stalled == 1 ? stalled_steps_ + 1 : 0;
        return stalled_steps_ < 2 || fail(base);
    }

  private:
    // A value unequal to itself; compared without the identity shortcut of
    // PyObject_RichCompareBool, which would call NaN equal to itself.
    static bool is_not_a_number(PyObject* value) {
        Ref unequal = Ref::steal(PyObject_RichCompare(value, value, Py_NE));
        const int result = unequal ? PyObject_IsTrue(unequal.get()) : -1;
        if (result < 0) PyErr_Clear();
        return result == 1;
    }

    static int not_shrinking(PyObject* previous, PyObject* quotient) {
        Ref before = Ref::steal(PyNumber_Absolute(previous));
        Ref after = before ? Ref::steal(PyNumber_Absolute(quotient)) : Ref();
        const int result = after ? PyObject_RichCompareBool(after.get(), before.get(), Py_GE) : -1;
        if (result < 0) PyErr_Clear();
        return result;
    }

    static bool fail(PyObject* base) {
        PyErr_Format(PyExc_ValueError,
                     "changeover() cannot reach 0 by dividing by base %R: the base must be a "
                     "number of magnitude 2 or more",
                     base);
        return false;
    }

    int stalled_steps_ = 0;
};

// The loop as the interpreter runs it, for numbers and bases of any type.
PyObject* convert_by_division(PyObject* num_argument, PyObject* base) {
    Ref digits = Ref::steal(PyList_New(0));
    if (!digits) return nullptr;
    Ref zero = make_int(0);
    if (!zero) return nullptr;
    Ref num = Ref::borrow(num_argument);
    ProgressGuard guard;
    for (;;) {
        Ref pair = Ref::steal(PyNumber_Divmod(num.get(), base));
        Ref quotient, reminder;
        if (!pair || !unpack_pair(pair.get(), quotient, reminder)) return nullptr;
        Ref text = Ref::steal(PyObject_Str(reminder.get()));
        if (!text || PyList_Append(digits.get(), text.get()) < 0) return nullptr;
        const int done = PyObject_RichCompareBool(quotient.get(), zero.get(), Py_EQ);
        if (done < 0) return nullptr;
        if (done) break;
        if (!guard.check(num.get(), quotient.get(), base)) return nullptr;
        num = quotient;
        if (PyErr_CheckSignals() < 0) return nullptr;
    }
    if (PyList_Reverse(digits.get()) < 0) return nullptr;
    Ref empty = Ref::steal(PyUnicode_FromStringAndSize("", 0));
    return empty ? PyUnicode_Join(empty.get(), digits.get()) : nullptr;
}

// Native digits for the common case: a non-negative int below 2**64 and an
// int base of at least 2.
bool convert_natively(PyObject* num, PyObject* base, Ref& result) {
    if (!PyLong_CheckExact(num) || !PyLong_CheckExact(base)) return false;
    int overflow = 0;
    const long long base_value = PyLong_AsLongLongAndOverflow(base, &overflow);
    if (overflow || base_value < 2) return false;
    const unsigned long long value = PyLong_AsUnsignedLongLong(num);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        PyErr_Clear();
        return false;
    }
    engine::Text digits;
    engine::append_digits(value, static_cast<unsigned long long>(base_value), digits);
    result = string_of(digits);
    return true;
}

}  // namespace

PyObject* changeover(PyObject* module, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"num", "base", nullptr};
    PyObject *num, *base;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:changeover", const_cast<char**>(keywords),
                                     &num, &base))
        return nullptr;
    Ref native;
    if (convert_natively(num, base, native)) return native.release();
    Ref zero = make_int(0);
    if (!zero) return nullptr;
    const int negative = PyObject_RichCompareBool(num, zero.get(), Py_LT);
    if (negative < 0) return nullptr;
    if (negative) return convert_absolute_value(module, num, base);
    return convert_by_division(num, base);
}
