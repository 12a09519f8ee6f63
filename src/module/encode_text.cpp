// Translation_smooth: ordinary text into a joke language.
#include <algorithm>
#include <cstring>

#include "alphabet_lists.hpp"
#include "engine/block_copy.hpp"
#include "engine/encoder.hpp"
#include "engine/engine_cache.hpp"
#include "functions.hpp"
#include "names.hpp"
#include "platform/memory.hpp"
#include "translation_common.hpp"
#include "unicode_access.hpp"

namespace {

const Name kChangeover("changeover"), kReplace("replace");

// The code point of one element of a text that is not a string, as ord() reads it.
Ref code_point_of(PyObject* item) {
    Py_ssize_t size = -1;
    long value = 0;
    if (PyUnicode_Check(item)) {
        if (!ready(item)) return Ref();
        size = PyUnicode_GET_LENGTH(item);
        if (size == 1) value = long(PyUnicode_READ_CHAR(item, 0));
    } else if (PyBytes_Check(item)) {
        size = PyBytes_GET_SIZE(item);
        if (size == 1) value = static_cast<unsigned char>(PyBytes_AS_STRING(item)[0]);
    } else if (PyByteArray_Check(item)) {
        size = PyByteArray_GET_SIZE(item);
        if (size == 1) value = static_cast<unsigned char>(PyByteArray_AS_STRING(item)[0]);
    } else {
        PyErr_Format(PyExc_TypeError, "ord() expected string of length 1, but %.200s found",
                     Py_TYPE(item)->tp_name);
        return Ref();
    }
    if (size != 1) {
        PyErr_Format(PyExc_TypeError, "ord() expected a character, but string of length %zd found",
                     size);
        return Ref();
    }
    return make_int(value);
}

Ref digit_groups_by_interpreter(PyObject* module, PyObject* imput, Py_ssize_t base) {
    Ref base_object = Ref::steal(PyLong_FromSsize_t(base));
    Ref groups = Ref::steal(PyList_New(0));
    Ref iterator = Ref::steal(PyObject_GetIter(imput));
    if (!base_object || !groups || !iterator) return Ref();
    while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
        Ref function = lookup_global(module, kChangeover);
        if (!function) return Ref();
        Ref args = make_tuple(code_point_of(item.get()), base_object);
        Ref digits = args ? call(function.get(), args.get()) : Ref();
        Ref formatted =
            digits ? call(cached_builtins().format.get(), make_tuple(digits).get()) : Ref();
        if (!formatted || PyList_Append(groups.get(), formatted.get()) < 0) return Ref();
    }
    if (PyErr_Occurred()) return Ref();
    Ref blank = Ref::steal(PyUnicode_FromString(" "));
    return blank ? Ref::steal(PyUnicode_Join(blank.get(), groups.get())) : Ref();
}

// Every step as the interpreter would run it: for arguments of unusual types.
PyObject* encode_by_interpreter(PyObject* module, const TranslationArguments& a, Py_ssize_t base) {
    Ref answer = digit_groups_by_interpreter(module, a.imput, base);
    Ref indexes = answer ? range_of(base + 1) : Ref();
    Ref iterator = indexes ? Ref::steal(PyObject_GetIter(indexes.get())) : Ref();
    if (!iterator) return nullptr;
    while (Ref x = Ref::steal(PyIter_Next(iterator.get()))) {
        Ref number = Ref::steal(PyObject_GetItem(a.numbers_list, x.get()));
        Ref pattern = number ? Ref::steal(PyObject_Str(number.get())) : Ref();
        Ref syllable = pattern ? Ref::steal(PyObject_GetItem(a.value_list, x.get())) : Ref();
        Ref args = make_tuple(pattern, syllable);
        answer = args ? call_method(answer.get(), kReplace, args.get()) : Ref();
        if (!answer) return nullptr;
    }
    return PyErr_Occurred() ? nullptr : answer.release();
}

struct Measure {
    std::size_t length = 0;
    engine::CodePoint max_char = 0;
    void operator()(const engine::CodePoint* units, std::size_t n) {
        length += n;
        for (std::size_t k = 0; k < n; ++k) max_char = std::max(max_char, units[k]);
    }
};

// Copies whole blocks while the string has room for them past the end of the
// units, and exactly at the end.
template <typename Unit>
struct Writer {
    static constexpr std::size_t kBlock = engine::Encoder::kReadableBytes;
    Unit* out;
    Unit* const end;
    void operator()(const Unit* units, std::size_t n) {
        Unit* const target = out;
        if (std::size_t(end - target) >= n + kBlock / sizeof(Unit))
            engine::copy_in_blocks<kBlock>(target, units, n);
        else
            std::memcpy(target, units, n * sizeof(Unit));
        out = target + n;
    }
};

// Both passes take the memoised segments in a loop of their own, and every
// other character through the general path.
bool measure_encoded(engine::Encoder& encoder, PyObject* imput, Measure& measure) {
    encoder.restart();
    const bool fed = visit_code_points(imput, [&](const auto* data, std::size_t length) {
        return engine::Encoder::fast_then_one(
            data, length,
            [&](const auto* rest, std::size_t count) {
                return encoder.measure_into(rest, count, measure.length, measure.max_char);
            },
            [&](const auto* one) {
                return encoder.template feed_units<engine::CodePoint>(one, 1, measure);
            });
    });
    return fed && encoder.finish_units<engine::CodePoint>(measure);
}

template <typename Unit>
void write_encoded(engine::Encoder& encoder, PyObject* imput, PyObject* result) {
    Unit* const start = static_cast<Unit*>(PyUnicode_DATA(result));
    Writer<Unit> writer{start, start + PyUnicode_GET_LENGTH(result)};
    encoder.restart();
    visit_code_points(imput, [&](const auto* data, std::size_t length) {
        return engine::Encoder::fast_then_one(
            data, length,
            [&](const auto* rest, std::size_t count) {
                return encoder.template feed_units_into<Unit>(rest, count, writer.out, writer.end);
            },
            [&](const auto* one) { return encoder.template feed_units<Unit>(one, 1, writer); });
    });
    encoder.template finish_units<Unit>(writer);
}

// Results this large are fresh blocks from the system (the C library reuses
// freed memory only for smaller ones), whose pages all fault in as they are
// written: on large pages, a few hundred faults instead of thousands.
void write_result(engine::Encoder& encoder, PyObject* imput, PyObject* result) {
    constexpr std::size_t kFreshBlock = std::size_t(32) << 20;
    const std::size_t bytes = std::size_t(PyUnicode_GET_LENGTH(result)) * PyUnicode_KIND(result);
    if (bytes >= kFreshBlock) platform::advise_large_pages(PyUnicode_DATA(result), bytes);
    switch (PyUnicode_KIND(result)) {
        case PyUnicode_1BYTE_KIND:
            write_encoded<std::uint8_t>(encoder, imput, result);
            break;
        case PyUnicode_2BYTE_KIND:
            write_encoded<std::uint16_t>(encoder, imput, result);
            break;
        default:
            write_encoded<engine::CodePoint>(encoder, imput, result);
            break;
    }
}

// Never destroyed: engines may still be lent out while the process exits.
engine::EngineCache<engine::Encoder>& encoders = *new engine::EngineCache<engine::Encoder>(8);

// Measures the result first, then writes it straight into its string.
PyObject* encode_with(engine::Encoder& encoder, PyObject* imput) {
    Measure measure;
    if (!measure_encoded(encoder, imput, measure))
        return string_of(encoder.encode_plain(text_of(imput))).release();
    Ref result = Ref::steal(PyUnicode_New(Py_ssize_t(measure.length), measure.max_char));
    if (!result) return nullptr;
    write_result(encoder, imput, result.get());
    return result.release();
}

// The native path gives the interpreter's result only for a plain string, a
// base of at least 2, the module's own base conversion and the real builtins.
bool may_encode_natively(PyObject* module, PyObject* imput, Py_ssize_t base, bool& failed) {
    failed = false;
    const CachedBuiltins& builtins = cached_builtins();
    if (!PyUnicode_CheckExact(imput) || base < 2 || !builtins.genuine_format ||
        !builtins.genuine_range || !ready(imput))
        return false;
    if (PyUnicode_GET_LENGTH(imput) == 0) return true;
    Ref function = lookup_global(module, kChangeover);
    failed = !function;
    return function && is_native_changeover(function.get());
}

// Reads the alphabet's passes; the engine cache lends an engine built for
// them before, or builds one.
PyObject* encode_reading_alphabet(PyObject* module, const TranslationArguments& a,
                                  Py_ssize_t base) {
    std::vector<engine::Pass> passes;
    switch (read_alphabet(a.value_list, a.numbers_list, base + 1, PassOrder::digits_to_syllables,
                          passes)) {
        case AlphabetRead::native: {
            auto lease = encoders.lend(base, std::move(passes));
            return encode_with(*lease, a.imput);
        }
        case AlphabetRead::generic:
            return encode_by_interpreter(module, a, base);
        default:
            return nullptr;
    }
}

}  // namespace

PyObject* Translation_smooth(PyObject* module, PyObject* args, PyObject* kwargs) {
    TranslationArguments a;
    if (!parse_translation_arguments("OOOOO:Translation_smooth", args, kwargs, a) ||
        !show_language_icon(module, a))
        return nullptr;
    const Py_ssize_t entries = PyObject_Size(a.numbers_list);
    if (entries < 0) return nullptr;
    const Py_ssize_t base = entries - 1;
    bool failed = false;
    if (!may_encode_natively(module, a.imput, base, failed))
        return failed ? nullptr : encode_by_interpreter(module, a, base);
    return guard_memory([&] { return encode_reading_alphabet(module, a, base); });
}
