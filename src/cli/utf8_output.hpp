// Characters written out as UTF-8, gathered into blocks: to a file descriptor,
// or kept in memory until the caller decides where they go.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "engine/text.hpp"

namespace cli {

class Utf8Output {
  public:
    static constexpr std::size_t kBlock = std::size_t(1) << 18;
    static constexpr int kInMemory = -1;

    explicit Utf8Output(int fd);

    // The caller passes no surrogates: UTF-8 cannot hold them.
    void put(engine::CodePoint c) {
        if (capacity_ - size_ < 4) make_room(4);
        size_ += encode(c, buffer_.get() + size_);
    }
    void put(const engine::CodePoint* chars, std::size_t length, engine::CodePoint max_char) {
        if (max_char > 0xFFFF) {
            for (std::size_t i = 0; i < length; ++i) put(chars[i]);
            return;
        }
        // Each character's bytes come from a table, stored four at a time:
        // the spare byte is overwritten by the next character.
        const std::uint32_t* const table = kBmpTable.entries;
        while (length > 0) {
            if (capacity_ - size_ < 3) make_room(3);
            const std::size_t part = std::min(length, (capacity_ - size_) / 3);
            char* out = buffer_.get() + size_;
            for (std::size_t i = 0; i < part; ++i) {
                const engine::CodePoint c = chars[i];
                std::memcpy(out, &table[c], 4);
                out += 1 + (c >= 0x80) + (c >= 0x800);
            }
            size_ = std::size_t(out - buffer_.get());
            chars += part;
            length -= part;
        }
    }
    void put_bytes(const char* bytes, std::size_t length);

    // Writes what is gathered; false (and error() says why) once a write failed.
    bool flush();
    bool failed() const { return !error_.empty(); }
    // Bytes handed to the file descriptor so far.
    std::uint64_t written() const { return written_; }
    const std::string& error() const { return error_; }

    // In memory: the bytes gathered so far.
    const char* data() const { return buffer_.get(); }
    std::size_t size() const { return size_; }
    // Forgets what is gathered and not yet written.
    void drop() { size_ = 0; }

  private:
    // For every character up to U+FFFF: its UTF-8 bytes as they lie in memory.
    struct BmpTable {
        BmpTable();
        std::uint32_t entries[0x10000];
    };
    static const BmpTable kBmpTable;
    // Room after the capacity for the spare byte of a four-byte store.
    static constexpr std::size_t kSlack = 4;

    static std::size_t encode(engine::CodePoint c, char* out) {
        if (c < 0x80) {
            out[0] = char(c);
            return 1;
        }
        if (c < 0x800) {
            out[0] = char(0xC0 | (c >> 6));
            out[1] = char(0x80 | (c & 0x3F));
            return 2;
        }
        if (c < 0x10000) {
            out[0] = char(0xE0 | (c >> 12));
            out[1] = char(0x80 | ((c >> 6) & 0x3F));
            out[2] = char(0x80 | (c & 0x3F));
            return 3;
        }
        out[0] = char(0xF0 | (c >> 18));
        out[1] = char(0x80 | ((c >> 12) & 0x3F));
        out[2] = char(0x80 | ((c >> 6) & 0x3F));
        out[3] = char(0x80 | (c & 0x3F));
        return 4;
    }

    // Writes the block out, or in memory grows it, so that `needed` bytes fit.
    void make_room(std::size_t needed);

    int fd_;
    std::unique_ptr<char[]> buffer_;
    std::size_t size_ = 0;
    std::size_t capacity_;
    std::string error_;
    std::uint64_t written_ = 0;
};

}  // namespace cli
