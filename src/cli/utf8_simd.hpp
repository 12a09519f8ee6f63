// UTF-8 decoding sixteen bytes at a time, on x86 processors with SSSE3: the
// fast path beside Utf8Input's plain loop, which stays the reference and
// takes over wherever this path stops.
#pragma once

namespace cli {
namespace utf8_simd {

// Whether this processor and build have the fast path.
bool available();

// Decodes characters of one to three bytes from `p` on, as long as at least
// sixteen bytes remain, and stops before anything else: four-byte
// characters, bytes that are not valid UTF-8, and windows it does not
// handle. Writes one unit per character to `out`, which must have room for
// eight more units than characters are decoded. Returns where it stopped.
const unsigned char* decode(const unsigned char* p, const unsigned char* end, char16_t*& out);

}  // namespace utf8_simd
}  // namespace cli
