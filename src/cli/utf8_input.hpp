// Strict UTF-8 decoding of a byte stream that arrives in pieces: a sequence
// cut by a piece boundary is completed by the next piece.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/text.hpp"

namespace cli {

class Utf8Input {
  public:
    // Decodes `length` bytes. Runs of characters up to U+FFFF go to
    // sink(const char16_t*, size_t), one unit per character, and characters
    // above to sink(const char32_t*, size_t). False at the first sequence
    // that is not valid UTF-8; the characters before it have been passed on.
    template <typename Sink>
    bool decode(const unsigned char* bytes, std::size_t length, Sink& sink) {
        std::size_t i = 0;
        if (pending_length_ != 0 && !complete_pending(bytes, length, i, sink)) return false;
        // At most one unit per byte.
        if (units_.size() < length - i) units_.resize(length - i);
        while (i < length) {
            char16_t* const first = units_.data();
            char16_t* out = first;
            const unsigned char* p = bytes + i;
            const unsigned char* const end = bytes + length;
            engine::CodePoint c = 0;
            p = decode_run(p, end, out);
            while (p < end) {
                if (*p < 0x80) {
                    *out++ = *p++;
                    continue;
                }
                const std::size_t needed = sequence_length(*p);
                if (std::size_t(end - p) < needed || !valid_prefix(p, needed)) break;
                c = decode_sequence(p, needed);
                if (c > 0xFFFF) break;
                *out++ = char16_t(c);
                p += needed;
                p = decode_run(p, end, out);
            }
            if (out != first) sink(static_cast<const char16_t*>(first), std::size_t(out - first));
            i = std::size_t(p - bytes);
            if (i == length) break;
            const std::size_t needed = sequence_length(*p);
            if (std::size_t(end - p) >= needed && valid_prefix(p, needed)) {
                const char32_t astral = c;
                sink(&astral, std::size_t(1));
                i += needed;
            } else if (std::size_t(end - p) < needed && valid_prefix(p, std::size_t(end - p))) {
                // The piece ends inside a sequence: keep its start for the next.
                pending_start_ = offset_ + i;
                pending_length_ = length - i;
                std::copy(p, end, pending_);
                i = length;
            } else {
                offset_ += length;
                return fail(offset_ - length + i, p, std::size_t(end - p));
            }
        }
        offset_ += length;
        return true;
    }

    // False when the input ended inside a sequence.
    bool finish();
    // Starts on a new input, its offsets counted from 0.
    void restart();

    // Whether the bytes so far end with a whole character.
    bool between_characters() const { return pending_length_ == 0; }
    // Counts valid bytes the caller decoded by other means, between characters.
    void skip(std::size_t length) { offset_ += length; }

    // After a failure: the byte offset where the invalid sequence starts, and why.
    std::uint64_t error_offset() const { return error_offset_; }
    const std::string& error_reason() const { return error_reason_; }
    // "invalid UTF-8 at byte offset 4: ...", the offset counted from
    // `bytes_before` bytes ahead of this input.
    std::string failure_text(std::uint64_t bytes_before = 0) const;

  private:
    // Decodes as far as it can the common characters, those below U+10000,
    // eight ASCII bytes at once, other characters without calls; stops before
    // anything else and shortly before the end.
    static const unsigned char* decode_run(const unsigned char* p, const unsigned char* const end,
                                           char16_t*& out_units) {
        char16_t* out = out_units;
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if ((word & 0x8080808080808080u) == 0) {
                for (int k = 0; k < 8; ++k) out[k] = p[k];
                p += 8;
                out += 8;
                continue;
            }
            const unsigned lead = p[0];
            if (lead < 0x80) {
                *out++ = char16_t(lead);
                ++p;
                continue;
            }
            const unsigned second = p[1];
            if ((lead & 0xF0) == 0xE0) {
                const unsigned third = p[2];
                const unsigned c = (lead & 0x0Fu) << 12 | (second & 0x3Fu) << 6 | (third & 0x3Fu);
                // Both continuation bytes, no overlong form, no surrogate.
                if (((second ^ 0x80u) | (third ^ 0x80u)) >= 0x40 || c < 0x800 ||
                    (c & 0xF800) == 0xD800)
                    break;
                *out++ = char16_t(c);
                p += 3;
                continue;
            }
            if ((lead & 0xE0) != 0xC0 || lead < 0xC2 || (second ^ 0x80u) >= 0x40) break;
            *out++ = char16_t((lead & 0x1Fu) << 6 | (second & 0x3Fu));
            p += 2;
        }
        out_units = out;
        return p;
    }

    // The length a lead byte announces (an invalid lead is caught by valid_prefix).
    static std::size_t sequence_length(unsigned char lead) {
        return lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    }
    // Whether `length` bytes can begin a well-formed sequence.
    static bool valid_prefix(const unsigned char* bytes, std::size_t length);
    static engine::CodePoint decode_sequence(const unsigned char* bytes, std::size_t length) {
        engine::CodePoint c = bytes[0] & (0x7Fu >> length);
        for (std::size_t k = 1; k < length; ++k) c = c << 6 | (bytes[k] & 0x3Fu);
        return c;
    }

    template <typename Sink>
    bool complete_pending(const unsigned char* bytes, std::size_t length, std::size_t& used,
                          Sink& sink) {
        const std::size_t needed = sequence_length(pending_[0]);
        while (pending_length_ < needed && used < length)
            pending_[pending_length_++] = bytes[used++];
        if (!valid_prefix(pending_, pending_length_)) {
            offset_ += length;
            return fail(pending_start_, pending_, pending_length_);
        }
        if (pending_length_ < needed) return true;
        pending_length_ = 0;
        const engine::CodePoint c = decode_sequence(pending_, needed);
        if (c > 0xFFFF) {
            const char32_t astral = c;
            sink(&astral, std::size_t(1));
        } else {
            const char16_t unit = char16_t(c);
            sink(&unit, std::size_t(1));
        }
        return true;
    }

    bool fail(std::uint64_t offset, const unsigned char* bytes, std::size_t available);

    std::vector<char16_t> units_;
    unsigned char pending_[4] = {};
    std::size_t pending_length_ = 0;
    std::uint64_t pending_start_ = 0;
    std::uint64_t offset_ = 0;  // bytes before the current piece
    std::uint64_t error_offset_ = 0;
    std::string error_reason_;
};

}  // namespace cli
