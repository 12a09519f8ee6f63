// do_return: finds the language row of the selected direction label and hands
// the text to the encoder or decoder. A missing choice and every failure end
// as a hint in the result field and an error box, with no result.
#include <array>
#include <cstddef>
#include <utility>

#include "functions.hpp"
#include "languages/languages.hpp"
#include "names.hpp"
#include "result_field.hpp"

namespace {

const char kBoxTitle[] = "注意";
const char kNoChoiceHint[] = "请选择翻译种类！";
const char kNoChoiceMessage[] = "请选择翻译种类！∑(っ°Д°;)っ";
const char kFailureHint[] = "请输入对应的语言！";
const char kFailureMessage[] = "_(:3」∠ )_ 请输入对应的语言！";

template <std::size_t... Index>
std::array<Name, sizeof...(Index)> icon_names_of_rows(std::index_sequence<Index...>) {
    return {{Name(languages::rows[Index].icon.name)...}};
}

// The icon text names, interned once and looked up anew for every request.
const std::array<Name, languages::row_count> kRowIconNames =
    icon_names_of_rows(std::make_index_sequence<languages::row_count>{});
const Name kDrawZeroIconName(languages::monkey_draw_zero.name);

struct IconChoice {
    const Name* name;
    int number;
};

Ref value_list(const languages::Row& row) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(row.size)));
    if (!list) return Ref();
    for (std::size_t i = 0; i < row.size; ++i) {
        PyObject* syllable = PyUnicode_FromString(row.value_list[i]);
        if (!syllable) return Ref();
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), syllable);
    }
    return list;
}

// Digits as integers, the separator entry as its text.
Ref numbers_list(const languages::Row& row) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(row.size)));
    if (!list) return Ref();
    for (std::size_t i = 0; i < row.size; ++i) {
        const languages::Symbol& symbol = row.numbers_list[i];
        PyObject* entry =
            symbol.digit >= 0 ? PyLong_FromLong(symbol.digit) : PyUnicode_FromString(symbol.text);
        if (!entry) return Ref();
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), entry);
    }
    return list;
}

// Sets `index` to the first row whose label equals `why`, or to row_count.
bool find_row(PyObject* why, std::size_t& index) {
    for (index = 0; index < languages::row_count; ++index) {
        Ref label = make_text(languages::rows[index].label);
        if (!label) return false;
        int equal = PyObject_RichCompareBool(why, label.get(), Py_EQ);
        if (equal < 0) return false;
        if (equal) return true;
    }
    return true;
}

// Monkey rows draw 0 to 2 for every request; 0 shows the other picture.
bool choose_icon(PyObject* module, std::size_t index, IconChoice& choice) {
    static const Name randint("randint");
    const languages::Row& row = languages::rows[index];
    choice = {&kRowIconNames[index], row.icon.number};
    if (!row.monkey_draw) return true;
    Ref bounds = make_tuple(make_int(0), make_int(2));
    Ref draw = bounds ? call_global(module, randint, bounds.get()) : Ref();
    Ref zero = make_int(0);
    if (!draw || !zero) return false;
    int drew_zero = PyObject_RichCompareBool(draw.get(), zero.get(), Py_EQ);
    if (drew_zero < 0) return false;
    if (drew_zero) choice = {&kDrawZeroIconName, languages::monkey_draw_zero.number};
    return true;
}

bool set_keyword(PyObject* kwargs, const char* key, const Ref& value) {
    return value && PyDict_SetItemString(kwargs, key, value.get()) == 0;
}

Ref call_engine(PyObject* module, const languages::Row& row, const IconChoice& icon,
                PyObject* imput) {
    static const Name encoder("Translation_smooth"), decoder("Translation_disobey");
    Ref engine =
        lookup_global(module, row.direction == languages::Direction::encode ? encoder : decoder);
    if (!engine) return Ref();
    Ref args = make_tuple(Ref::borrow(imput));
    Ref kwargs = Ref::steal(PyDict_New());
    if (!args || !kwargs || !set_keyword(kwargs.get(), "value_list", value_list(row)) ||
        !set_keyword(kwargs.get(), "numbers_list", numbers_list(row)) ||
        !set_keyword(kwargs.get(), "icon", lookup_global(module, *icon.name)) ||
        !set_keyword(kwargs.get(), "icon_num", make_int(icon.number)))
        return Ref();
    return call(engine.get(), args.get(), kwargs.get());
}

bool report(PyObject* module, const char* hint, const char* message) {
    static const Name showerror("showerror");
    Ref hint_text = make_text(hint);
    if (!hint_text || !replace_result_text(module, hint_text.get())) return false;
    Ref args = make_tuple(make_text(kBoxTitle), make_text(message));
    return args && call_global(module, showerror, args.get());
}

// The engine's result, None when no direction is chosen, empty on failure.
Ref handle_request(PyObject* module, PyObject* imput) {
    static const Name depot("depot"), get("get");
    Ref choice = lookup_global(module, depot);
    Ref why = choice ? call_method(choice.get(), get) : Ref();
    std::size_t index = 0;
    if (!why || !find_row(why.get(), index)) return Ref();
    if (index == languages::row_count) {
        if (!report(module, kNoChoiceHint, kNoChoiceMessage)) return Ref();
        return Ref::borrow(Py_None);
    }
    IconChoice icon{};
    if (!choose_icon(module, index, icon)) return Ref();
    return call_engine(module, languages::rows[index], icon, imput);
}

}  // namespace

PyObject* do_return(PyObject* module, PyObject* imput) {
    Ref result = handle_request(module, imput);
    if (result) return result.release();
    // Every kind of failure gets the same hint, and the failure itself is dropped.
    PyErr_Clear();
    if (!report(module, kFailureHint, kFailureMessage)) return nullptr;
    Py_RETURN_NONE;
}
