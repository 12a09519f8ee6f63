// Coverage-guided fuzzing of the native engine with libFuzzer. An input
// becomes an alphabet, a text and the size of the pieces it is fed in; on
// every route the processor runs, the text is decoded the module's way and
// the command line's, and encoded, and each must give what the plain
// reference gives (offsets: what the plain route gives, for alphabets whose
// passes may not rest at a group's first character). A difference aborts,
// and libFuzzer keeps the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "decodings.hpp"
#include "engine/utf8.hpp"
#include "reference.hpp"

namespace {

using engine::CodePoint;
using engine::Pass;
using engine::Text;

// The input read a byte at a time; zeros once it runs out.
class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    unsigned byte() { return at_ < size_ ? data_[at_++] : 0; }
    bool empty() const { return at_ >= size_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Characters that make syllables collide with digits, blanks and each other.
const Text kPool = U"01 O o喵！？~吱唧\t\u3000a\U0001F600";

Text syllable(Input& in) {
    Text text;
    for (unsigned length = in.byte() % 4; length > 0; --length)
        text += kPool[in.byte() % kPool.size()];
    return text;
}

void fail(const char* what) {
    std::fprintf(stderr, "different from the reference: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const unsigned base = 2 + in.byte() % 4;
    std::vector<Pass> encoding, decoding;
    for (unsigned digit = 0; digit <= base; ++digit) {
        const Text number = digit == base ? Text(U" ") : Text(1, CodePoint(U'0' + digit));
        const Text sound = syllable(in);
        encoding.push_back({number, sound});
        decoding.push_back({sound, number});
    }
    for (std::size_t k = 0; k + 1 < decoding.size(); ++k) {
        if (in.byte() % 2)
            std::swap(decoding[k], decoding[k + 1 + in.byte() % (decoding.size() - k - 1)]);
    }
    const std::size_t piece = 1 + in.byte() % 64;
    Text plain, text;
    while (!in.empty()) {
        const unsigned byte = in.byte();
        if (byte < 0xC0)
            plain += byte < 0x80 ? CodePoint(byte) : CodePoint(0x4E00 + byte * 37);
        else
            text += kPool[byte % kPool.size()];
    }
    const Text encoded = reference::encode(plain, base, encoding);
    text = encoded + text;
    std::string expected;
    engine::append_utf8(encoded.data(), encoded.size(), expected);
    if (encode_bytes(base, encoding, plain, piece) != expected) fail("encoding");

    const reference::Decoded module = reference::decode(text, base, decoding, false);
    const reference::Decoded command = reference::decode(text, base, decoding, true);
    const std::uint64_t module_offset =
        decode_units<CodePoint>(base, decoding, engine::Route::plain, text, text.size() + 1).offset;
    const std::uint64_t command_offset =
        decode_bytes(base, decoding, engine::Route::plain, text, text.size() + 1).offset;
    const bool narrow = text.find(U'\U0001F600') == Text::npos;
    for (engine::Route route :
         {engine::Route::plain, engine::Route::sse2, engine::Route::ssse3, engine::Route::avx2}) {
        if (!engine::route_runs_here(route)) continue;
        if (!same(decode_units<CodePoint>(base, decoding, route, text, piece), module,
                  module_offset))
            fail("decoding code units");
        if (narrow && !same(decode_units<std::uint16_t>(base, decoding, route, text, piece), module,
                            module_offset))
            fail("decoding 16-bit code units");
        if (!same(decode_bytes(base, decoding, route, text, piece), command, command_offset))
            fail("decoding UTF-8");
    }
    return 0;
}
