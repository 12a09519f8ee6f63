// The two button commands: translate the input box or the clipboard, then put
// the result on the clipboard, into the result field and into an info box, in
// that order. Their own failures are left to Tk's callback error handler.
#include "functions.hpp"
#include "names.hpp"
#include "result_field.hpp"

namespace {

const char kResultTitle[] = "翻译结果(已复制到剪贴板)";

bool call_with(PyObject* module, const Name& function, const Ref& argument) {
    Ref args = make_tuple(argument);
    return args && call_global(module, function, args.get());
}

bool show_result(PyObject* module, const Ref& output) {
    static const Name showinfo("showinfo");
    Ref args = make_tuple(make_text(kResultTitle), output);
    return args && call_global(module, showinfo, args.get());
}

PyObject* translate_and_deliver(PyObject* module, const Ref& imput) {
    static const Name do_return_name("do_return"), copy("copy");
    if (!imput) return nullptr;
    Ref args = make_tuple(imput);
    Ref output = args ? call_global(module, do_return_name, args.get()) : Ref();
    if (!output) return nullptr;
    // No result: do_return has already shown why.
    if (output.get() == Py_None) Py_RETURN_NONE;
    if (!call_with(module, copy, output) || !replace_result_text(module, output.get()) ||
        !show_result(module, output))
        return nullptr;
    Py_RETURN_NONE;
}

// The whole input box, with the line feed Tk always keeps after the last line.
Ref input_box_text(PyObject* module) {
    static const Name problem("problem"), get("get"), end("END");
    Ref box = lookup_global(module, problem);
    if (!box) return Ref();
    Ref args = make_tuple(make_text("1.0"), lookup_global(module, end));
    return args ? call_method(box.get(), get, args.get()) : Ref();
}

Ref clipboard_text(PyObject* module) {
    static const Name paste("paste");
    return call_global(module, paste);
}

}  // namespace

PyObject* do_(PyObject* module, PyObject*) {
    return translate_and_deliver(module, input_box_text(module));
}

PyObject* translation_paste(PyObject* module, PyObject*) {
    return translate_and_deliver(module, clipboard_text(module));
}
