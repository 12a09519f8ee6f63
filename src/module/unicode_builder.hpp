// Builds a string in place, in the narrowest kind that holds its characters so
// far: the result is the buffer itself, trimmed at the end, so a result never
// needs much more memory than the finished string.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "engine/text.hpp"
#include "pyref.hpp"

class UnicodeBuilder {
  public:
    UnicodeBuilder() = default;
    UnicodeBuilder(const UnicodeBuilder&) = delete;
    UnicodeBuilder& operator=(const UnicodeBuilder&) = delete;

    // False (with an exception set) when the string cannot grow.
    bool append(engine::CodePoint c) {
        if (c <= max_char_ && length_ < capacity_) {
            store(c);
            return true;
        }
        return append_slowly(c);
    }

    // Several characters at once: the kind and the room are made once.
    bool append_each(const engine::CodePoint* characters, std::size_t count) {
        engine::CodePoint widest = 0;
        for (std::size_t k = 0; k < count; ++k) widest = std::max(widest, characters[k]);
        if ((!text_ || widest > max_char_) && !widen(widest)) return false;
        if (capacity_ - length_ < count && !grow(length_ + count)) return false;
        switch (kind_) {
            case PyUnicode_1BYTE_KIND:
                store_each(static_cast<Py_UCS1*>(data_), characters, count);
                break;
            case PyUnicode_2BYTE_KIND:
                store_each(static_cast<Py_UCS2*>(data_), characters, count);
                break;
            default:
                store_each(static_cast<Py_UCS4*>(data_), characters, count);
                break;
        }
        return true;
    }

    Ref finish() {
        if (length_ == 0) return Ref::steal(PyUnicode_New(0, 0));
        if (!resize(length_)) return Ref();
        return std::move(text_);
    }

  private:
    template <typename Unit>
    void store_each(Unit* data, const engine::CodePoint* characters, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k) data[length_ + k] = Unit(characters[k]);
        length_ += count;
    }

    void store(engine::CodePoint c) {
        switch (kind_) {
            case PyUnicode_1BYTE_KIND:
                static_cast<Py_UCS1*>(data_)[length_++] = Py_UCS1(c);
                break;
            case PyUnicode_2BYTE_KIND:
                static_cast<Py_UCS2*>(data_)[length_++] = Py_UCS2(c);
                break;
            default:
                static_cast<Py_UCS4*>(data_)[length_++] = Py_UCS4(c);
                break;
        }
    }

    bool append_slowly(engine::CodePoint c) {
        if ((!text_ || c > max_char_) && !widen(c)) return false;
        if (length_ == capacity_ && !grow(length_ + 1)) return false;
        store(c);
        return true;
    }

    bool grow(std::size_t at_least) {
        const std::size_t capacity = std::max(capacity_ + capacity_ / 2, at_least);
        if (!resize(capacity)) return false;
        capacity_ = capacity;
        data_ = PyUnicode_DATA(text_.get());
        return true;
    }

    // The string is still private to the builder, so it is resized in place;
    // on failure it stays as it was.
    bool resize(std::size_t length) {
        PyObject* text = text_.release();
        const bool resized = PyUnicode_Resize(&text, Py_ssize_t(length)) == 0;
        text_ = Ref::steal(text);
        return resized;
    }

    // A new string of the wider kind, holding what was built so far.
    bool widen(engine::CodePoint c) {
        const engine::CodePoint max_char = c < 0x80      ? 0x7F
                                           : c < 0x100   ? 0xFF
                                           : c < 0x10000 ? 0xFFFF
                                                         : 0x10FFFF;
        const std::size_t capacity = capacity_ < 64 ? 64 : capacity_;
        Ref wider = Ref::steal(PyUnicode_New(Py_ssize_t(capacity), Py_UCS4(max_char)));
        if (!wider) return false;
        if (length_ != 0 &&
            PyUnicode_CopyCharacters(wider.get(), 0, text_.get(), 0, Py_ssize_t(length_)) < 0)
            return false;
        text_ = std::move(wider);
        capacity_ = capacity;
        max_char_ = max_char;
        kind_ = PyUnicode_KIND(text_.get());
        data_ = PyUnicode_DATA(text_.get());
        return true;
    }

    Ref text_;  // capacity_ characters, of which the first length_ are set
    void* data_ = nullptr;
    int kind_ = PyUnicode_1BYTE_KIND;
    engine::CodePoint max_char_ = 0;  // the largest character the string's kind holds
    std::size_t length_ = 0;
    std::size_t capacity_ = 0;
};
