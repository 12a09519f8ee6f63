// Whole groups of digit tokens read a block at a time, for alphabets whose
// passes act token by token: the text is narrowed to one byte per character
// (each character of the digit tokens to a byte of its own, the blank to a
// space, anything else to 0xFF) and the token groups read the groups from the
// bytes. Text of one byte per character in the ASCII digits of base 2 needs
// no narrowing: the binary groups read it as it is. Where they cannot, the
// decoder reads on, so the result stays exactly what the passes give.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/decoder.hpp"
#include "engine/kernels/binary_groups.hpp"
#include "engine/kernels/run_groups.hpp"
#include "engine/kernels/run_planes.hpp"
#include "engine/kernels/token_groups.hpp"

namespace engine {

class NarrowGroups {
  public:
    // Only on the avx2 route: without AVX2 and PEXT, narrowing costs about
    // what the readers save. `decoder`, built for the same passes, is only
    // asked what single characters mean.
    NarrowGroups(Decoder& decoder, const std::vector<Pass>& passes, Route route);

    bool usable() const { return tokens_.usable() || runs_.usable(); }

    // The most characters the digit tokens may be made of.
    static constexpr std::size_t kMostCharacters = 8;

    // Feeds text to the decoder: whole groups through the readers wherever
    // the decoder is at rest, the rest the decoder's own way. Out takes the
    // decoder's characters one at a time and the readers' in arrays:
    // void(CodePoint) and void(const CodePoint*, std::size_t).
    template <typename CharT, typename Out, typename Reader>
    Decoder::Status feed(Decoder& decoder, const CharT* text, std::size_t length, Out& out,
                         Reader& reader) const {
        if constexpr (sizeof(CharT) > 2) {
            return decoder.feed(text, length, out, reader);
        } else {
            const CharT* p = text;
            const CharT* const end = text + length;
            unsigned refused = 0;
            while (usable() && p != end && refused <= kMostRefused) {
                if (decoder.at_rest()) {
                    const std::size_t taken = read(p, std::size_t(end - p), out);
                    decoder.skip(taken);
                    p += taken;
                    refused = taken != 0 ? 0 : refused + 1;
                }
                const CharT* const next = after_blank(p, end);
                const Decoder::Status status = decoder.feed(p, std::size_t(next - p), out, reader);
                if (status != Decoder::Status::ok) return status;
                p = next;
            }
            return decoder.feed(p, std::size_t(end - p), out, reader);
        }
    }

  private:
    // Characters narrowed at a time, and the bytes of 0xFF after them, so
    // that a reader never reads past the block.
    static constexpr std::size_t kBlock = 4096;
    static constexpr std::size_t kWindow = TokenGroups::kMostMargin;
    // Groups in a row that the readers refuse before the decoder takes the
    // rest of the text alone: text not in the language at all.
    static constexpr unsigned kMostRefused = 16;
    static constexpr std::size_t kMostRead = 256;
    static constexpr unsigned char kBlankByte = ' ';
    static constexpr unsigned char kOtherByte = 0xFF;

    // Reads whole groups from the start of the text, giving their characters
    // to `out`; returns the count of characters passed over.
    template <typename CharT, typename Out>
    std::size_t read(const CharT* text, std::size_t length, Out& out) const {
        if constexpr (sizeof(CharT) == 1) {
            if (binary_.usable())
                return read_binary(reinterpret_cast<const unsigned char*>(text), length, out);
        }
        alignas(16) unsigned char bytes[kBlock + kWindow];
        CodePoint characters[kMostRead];
        std::size_t taken = 0;
        while (taken < length) {
            const std::size_t block = std::min(kBlock, length - taken);
            narrow(text + taken, block, bytes);
            const unsigned char* from = bytes;
            for (const unsigned char* before = nullptr; from != before;) {
                before = from;
                const std::size_t count = read_groups(from, bytes + block + kWindow, characters);
                out(characters, count);
            }
            const std::size_t read = std::size_t(from - bytes);
            taken += read;
            // Stopped by a group the readers refuse, not by the block's end.
            if (read == 0 || block - read >= kWindow || taken == length) break;
        }
        return taken;
    }

    template <typename Out>
    std::size_t read_binary(const unsigned char* text, std::size_t length, Out& out) const {
        static_assert(BinaryGroups::kMostRead == kMostRead && TokenGroups::kMostRead == kMostRead,
                      "one buffer fits every reader");
        CodePoint characters[kMostRead];
        const unsigned char* from = text;
        for (const unsigned char* before = nullptr; from != before;) {
            before = from;
            std::uint64_t passed = 0;
            out(characters, binary_.read(from, text + length, characters, passed));
        }
        return std::size_t(from - text);
    }

    // Whole groups from narrowed bytes, by whichever reader the alphabet has.
    std::size_t read_groups(const unsigned char*& from, const unsigned char* end,
                            CodePoint* characters) const {
        std::uint64_t passed = 0;
        if (runs_.usable()) return runs_.read(from, end, characters, passed);
        return tokens_.read(from, end, characters, passed);
    }
    // Takes the alphabet's digit tokens, where its passes act token by token.
    bool take_tokens(const std::vector<Pass>& passes, std::int64_t base, CodePoint blank,
                     Route route);

    // Writes `length` bytes and kWindow bytes of kOtherByte after them.
    void narrow(const std::uint8_t* text, std::size_t length, unsigned char* bytes) const;
    void narrow(const std::uint16_t* text, std::size_t length, unsigned char* bytes) const;
    template <typename CharT>
    void narrow_any(const CharT* text, std::size_t length, unsigned char* bytes) const;
    // From `from` on, one character at a time.
    template <typename CharT>
    void narrow_from(const CharT* text, std::size_t from, std::size_t length,
                     unsigned char* bytes) const;
    unsigned char byte_of(CodePoint c) const;

    template <typename CharT>
    const CharT* after_blank(const CharT* p, const CharT* end) const {
        while (p != end && CodePoint(*p) != blank_) ++p;
        return p == end ? end : p + 1;
    }

    BinaryGroups binary_;
    TokenGroups tokens_;
    RunPlanes runs_{RunGroups(), kBlankByte};
    CodePoint blank_ = 0;
    // The digit tokens' characters; the k-th becomes byte 0x80 + k.
    CodePoint characters_[kMostCharacters] = {};
    std::size_t character_count_ = 0;
};

}  // namespace engine
