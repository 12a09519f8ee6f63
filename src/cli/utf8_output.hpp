// Characters written out as UTF-8, gathered into blocks: to a file descriptor,
// or kept in memory until the caller decides where they go.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "engine/block_copy.hpp"
#include "engine/text.hpp"
#include "engine/utf8.hpp"

namespace cli {

class Utf8Output {
  public:
    static constexpr std::size_t kBlock = std::size_t(1) << 18;
    static constexpr int kInMemory = -1;

    explicit Utf8Output(int fd);

    // The caller passes no surrogates: UTF-8 cannot hold them.
    void put(engine::CodePoint c) {
        if (capacity_ - size_ < 4) make_room(4);
        size_ = std::size_t(encode_one(c, buffer_.get() + size_) - buffer_.get());
    }
    // Characters of any widths mixed, as decoded text has them; the same
    // table as put(c), with the position kept out of memory between them.
    void put_each(const engine::CodePoint* chars, std::size_t length) {
        if (capacity_ - size_ < 4 * length) {
            for (std::size_t i = 0; i < length; ++i) put(chars[i]);
            return;
        }
        char* out = buffer_.get() + size_;
        for (std::size_t i = 0; i < length; ++i) out = encode_one(chars[i], out);
        size_ = std::size_t(out - buffer_.get());
    }
    // The buffer's free space, for a writer that keeps its position to
    // itself; fill_to() then tells where it stopped.
    char* free_space() { return buffer_.get() + size_; }
    const char* space_end() const { return buffer_.get() + capacity_; }
    void fill_to(const char* at) { size_ = std::size_t(at - buffer_.get()); }
    void put_bytes(const char* bytes, std::size_t length) {
        if (capacity_ - size_ < length) {
            put_bytes_in_parts(bytes, length);
            return;
        }
        std::memcpy(buffer_.get() + size_, bytes, length);
        size_ += length;
    }
    // The same, for bytes that may be read kBlockCopy bytes past their end:
    // copies of a fixed size, where a copy of varying length would mispredict
    // its branches on nearly every call.
    static constexpr std::size_t kBlockCopy = 64;
    void put_padded_bytes(const char* bytes, std::size_t length) {
        if (capacity_ - size_ < length + kBlockCopy) {
            put_bytes_in_parts(bytes, length);
            return;
        }
        engine::copy_in_blocks<kBlockCopy>(buffer_.get() + size_, bytes, length);
        size_ += length;
    }

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
    // For every character up to U+FFFF: its UTF-8 bytes as they lie in
    // memory, and their count in the last byte, which the next character's
    // bytes overwrite.
    struct BmpTable {
        BmpTable();
        std::uint32_t entries[0x10000];
    };
    static const BmpTable kBmpTable;
    // Room after the capacity for the spare byte of a four-byte store.
    static constexpr std::size_t kSlack = 4;

    static std::size_t encode(engine::CodePoint c, char* out) {
        return engine::encode_utf8(c, out);
    }

    // One character, up to U+FFFF from the table without branches: decoded
    // text mixes the widths of its characters at random, which no branch
    // predicts. Writes up to four bytes; returns the end of the character.
    static char* encode_one(engine::CodePoint c, char* out) {
        if (c > 0xFFFF) return out + encode(c, out);
        const char* const bytes = reinterpret_cast<const char*>(&kBmpTable.entries[c]);
        std::memcpy(out, bytes, 4);
        return out + static_cast<unsigned char>(bytes[3]);
    }

    void put_bytes_in_parts(const char* bytes, std::size_t length);

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
