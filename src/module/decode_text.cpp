// Translation_disobey: a joke language back into ordinary text.
#include "alphabet_lists.hpp"
#include "engine/decoder.hpp"
#include "engine/engine_cache.hpp"
#include "engine/kernels/narrow_groups.hpp"
#include "functions.hpp"
#include "names.hpp"
#include "translation_common.hpp"
#include "unicode_access.hpp"
#include "unicode_builder.hpp"

namespace {

const Name kReplace("replace"), kSplit("split");

Ref call_builtin(PyObject* builtin, const Ref& argument) {
    Ref args = make_tuple(argument);
    return args ? call(builtin, args.get()) : Ref();
}

// int(group, base), then chr() and format(), as the interpreter reads a group.
Ref character_of_group(PyObject* group, PyObject* base) {
    Ref args = make_tuple(Ref::borrow(group), Ref::borrow(base));
    Ref number = args ? call(reinterpret_cast<PyObject*>(&PyLong_Type), args.get()) : Ref();
    Ref character = number ? call_builtin(cached_builtins().chr.get(), number) : Ref();
    return character ? call_builtin(cached_builtins().format.get(), character) : Ref();
}

// Every step as the interpreter would run it: for arguments of unusual types.
PyObject* decode_by_interpreter(const TranslationArguments& a, Py_ssize_t base) {
    Ref text = Ref::borrow(a.imput);
    Ref indexes = range_of(base + 1);
    Ref iterator = indexes ? Ref::steal(PyObject_GetIter(indexes.get())) : Ref();
    if (!iterator) return nullptr;
    while (Ref x = Ref::steal(PyIter_Next(iterator.get()))) {
        Ref syllable = Ref::steal(PyObject_GetItem(a.value_list, x.get()));
        Ref number = syllable ? Ref::steal(PyObject_GetItem(a.numbers_list, x.get())) : Ref();
        Ref args = make_tuple(syllable, number ? Ref::steal(PyObject_Str(number.get())) : Ref());
        text = args ? call_method(text.get(), kReplace, args.get()) : Ref();
        if (!text) return nullptr;
    }
    if (PyErr_Occurred()) return nullptr;
    Ref groups = call_method(text.get(), kSplit);
    Ref base_object = Ref::steal(PyLong_FromSsize_t(base));
    Ref characters = Ref::steal(PyList_New(0));
    Ref group_iterator = groups ? Ref::steal(PyObject_GetIter(groups.get())) : Ref();
    if (!base_object || !characters || !group_iterator) return nullptr;
    while (Ref group = Ref::steal(PyIter_Next(group_iterator.get()))) {
        Ref character = character_of_group(group.get(), base_object.get());
        if (!character || PyList_Append(characters.get(), character.get()) < 0) return nullptr;
    }
    if (PyErr_Occurred()) return nullptr;
    Ref empty = Ref::steal(PyUnicode_FromStringAndSize("", 0));
    return empty ? PyUnicode_Join(empty.get(), characters.get()) : nullptr;
}

struct Collect {
    UnicodeBuilder& builder;
    bool ok = true;
    void operator()(engine::CodePoint c) { ok = ok && builder.append(c); }
    void operator()(const engine::CodePoint* characters, std::size_t count) {
        ok = ok && builder.append_each(characters, count);
    }
};

// Groups the engine does not read itself (other syntax, out of range) go to
// the interpreter, which gives the result or the exact error.
struct InterpreterReader {
    PyObject* base;
    bool operator()(const engine::Text& group, Collect& out) {
        Ref text = string_of(group);
        Ref character = text ? character_of_group(text.get(), base) : Ref();
        if (!character) return false;
        if (!PyUnicode_Check(character.get()) || !ready(character.get()) ||
            PyUnicode_GET_LENGTH(character.get()) != 1) {
            PyErr_SetString(PyExc_SystemError, "chr() gave an unexpected result");
            return false;
        }
        out(PyUnicode_READ_CHAR(character.get(), 0));
        return out.ok;
    }
};

template <typename Feed>
PyObject* run_decoder(engine::Decoder& decoder, Py_ssize_t base, Feed&& feed) {
    UnicodeBuilder builder;
    Collect out{builder};
    Ref base_object = Ref::steal(PyLong_FromSsize_t(base));
    if (!base_object) return nullptr;
    InterpreterReader reader{base_object.get()};
    engine::Decoder::Status status = feed(decoder, out, reader);
    if (status == engine::Decoder::Status::ok) status = decoder.finish(out, reader);
    if (status != engine::Decoder::Status::ok || !out.ok) return nullptr;
    return builder.finish().release();
}

// The decoder and its shortcut for whole groups, built once per alphabet.
struct DecodingEngine {
    DecodingEngine(std::int64_t base, const std::vector<engine::Pass>& passes)
        : decoder(base, passes), groups(decoder, passes, engine::active_route()) {}
    void restart() { decoder.restart(); }
    engine::Decoder decoder;
    engine::NarrowGroups groups;
};

// Never destroyed: engines may still be lent out while the process exits.
engine::EngineCache<DecodingEngine>& decoders = *new engine::EngineCache<DecodingEngine>(8);

PyObject* decode_with(DecodingEngine& engine, PyObject* imput, Py_ssize_t base) {
    engine::Decoder& decoder = engine.decoder;
    PyObject* result = run_decoder(
        decoder, base, [&](engine::Decoder& d, Collect& out, InterpreterReader& reader) {
            return visit_code_points(imput, [&](const auto* data, std::size_t length) {
                return engine.groups.feed(d, data, length, out, reader);
            });
        });
    if (result || PyErr_Occurred()) return result;
    // The alphabet's transducer outgrew its budget: whole-text passes instead.
    const engine::Text replaced = decoder.replace_plain(text_of(imput));
    engine::Decoder grouping(base, {});
    return run_decoder(grouping, base,
                       [&](engine::Decoder& d, Collect& out, InterpreterReader& reader) {
                           return d.feed(replaced.data(), replaced.size(), out, reader);
                       });
}

// Reads the alphabet's passes; the engine cache lends an engine built for
// them before, or builds one.
PyObject* decode_reading_alphabet(const TranslationArguments& a, Py_ssize_t base) {
    std::vector<engine::Pass> passes;
    switch (read_alphabet(a.value_list, a.numbers_list, base + 1, PassOrder::syllables_to_digits,
                          passes)) {
        case AlphabetRead::native: {
            auto lease = decoders.lend(base, std::move(passes));
            return decode_with(*lease, a.imput, base);
        }
        case AlphabetRead::generic:
            return decode_by_interpreter(a, base);
        default:
            return nullptr;
    }
}

bool may_decode_natively(PyObject* imput, Py_ssize_t base) {
    const CachedBuiltins& builtins = cached_builtins();
    return PyUnicode_CheckExact(imput) && base >= -1 && builtins.genuine_chr &&
           builtins.genuine_format && builtins.genuine_range && ready(imput);
}

}  // namespace

PyObject* Translation_disobey(PyObject* module, PyObject* args, PyObject* kwargs) {
    TranslationArguments a;
    if (!parse_translation_arguments("OOOOO:Translation_disobey", args, kwargs, a) ||
        !show_language_icon(module, a))
        return nullptr;
    const Py_ssize_t entries = PyObject_Size(a.numbers_list);
    if (entries < 0) return nullptr;
    const Py_ssize_t base = entries - 1;
    if (!may_decode_natively(a.imput, base)) return decode_by_interpreter(a, base);
    return guard_memory([&] { return decode_reading_alphabet(a, base); });
}
