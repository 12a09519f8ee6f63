// Collects decoded characters in the narrowest width that holds them so far,
// so a result never needs much more memory than the finished string.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/text.hpp"
#include "pyref.hpp"

class UnicodeBuilder {
  public:
    UnicodeBuilder() = default;
    UnicodeBuilder(const UnicodeBuilder&) = delete;
    UnicodeBuilder& operator=(const UnicodeBuilder&) = delete;
    ~UnicodeBuilder() { PyMem_RawFree(data_); }

    // False (with MemoryError set) when the buffer cannot grow.
    bool append(engine::CodePoint c) {
        if (c <= max_char_ && length_ < capacity_) {
            store(c);
            return true;
        }
        return append_slowly(c);
    }

    Ref finish() {
        if (length_ != 0 && length_ < capacity_) {
            void* trimmed = PyMem_RawRealloc(data_, length_ * width_);
            if (trimmed) data_ = trimmed;
        }
        const int kind = width_ == 1   ? PyUnicode_1BYTE_KIND
                         : width_ == 2 ? PyUnicode_2BYTE_KIND
                                       : PyUnicode_4BYTE_KIND;
        return Ref::steal(
            PyUnicode_FromKindAndData(kind, length_ ? data_ : "", Py_ssize_t(length_)));
    }

  private:
    void store(engine::CodePoint c) {
        switch (width_) {
            case 1:
                static_cast<std::uint8_t*>(data_)[length_++] = std::uint8_t(c);
                break;
            case 2:
                static_cast<std::uint16_t*>(data_)[length_++] = std::uint16_t(c);
                break;
            default:
                static_cast<std::uint32_t*>(data_)[length_++] = std::uint32_t(c);
                break;
        }
    }

    bool append_slowly(engine::CodePoint c) {
        if (c > max_char_ && !widen(c)) return false;
        if (length_ == capacity_ && !grow()) return false;
        store(c);
        return true;
    }

    bool grow() {
        const std::size_t capacity = capacity_ < 64 ? 64 : capacity_ + capacity_ / 2;
        void* grown = PyMem_RawRealloc(data_, capacity * width_);
        if (!grown) {
            PyErr_NoMemory();
            return false;
        }
        data_ = grown;
        capacity_ = capacity;
        return true;
    }

    bool widen(engine::CodePoint c) {
        const std::size_t width = c > 0xFFFF ? 4 : 2;
        void* wider = capacity_ ? PyMem_RawMalloc(capacity_ * width) : nullptr;
        if (capacity_ && !wider) {
            PyErr_NoMemory();
            return false;
        }
        for (std::size_t i = 0; i < length_; ++i) {
            const std::uint32_t value = width_ == 1 ? static_cast<std::uint8_t*>(data_)[i]
                                                    : static_cast<std::uint16_t*>(data_)[i];
            if (width == 2)
                static_cast<std::uint16_t*>(wider)[i] = std::uint16_t(value);
            else
                static_cast<std::uint32_t*>(wider)[i] = value;
        }
        PyMem_RawFree(data_);
        data_ = wider;
        width_ = width;
        max_char_ = width == 2 ? 0xFFFF : 0xFFFFFFFF;
        return true;
    }

    void* data_ = nullptr;
    std::size_t width_ = 1;
    engine::CodePoint max_char_ = 0xFF;  // the largest the width holds
    std::size_t length_ = 0;
    std::size_t capacity_ = 0;
};
