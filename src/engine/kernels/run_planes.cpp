#include "engine/kernels/run_planes.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "bits.hpp"
#include "engine/utf8.hpp"
#include "target_attributes.hpp"

#ifdef MIRELO_X86
#include <immintrin.h>
#endif

namespace engine {

RunPlanes::RunPlanes(const std::vector<Pass>& passes, std::int64_t base, unsigned char blank,
                     Route route)
    : blank_(blank) {
    if (blank >= 0x80) return;
    RunGroups runs(passes, base, CodePoint(blank), route);
    if (!runs.usable()) return;
    const std::vector<CodePoint>& characters = runs.characters();
    for (std::size_t k = 0; k < characters.size(); ++k) {
        std::string bytes;
        append_utf8(&characters[k], 1, bytes);
        if (k == 0) length_ = unsigned(bytes.size());
        if (bytes.size() != length_ || length_ > kLongest) return;
        std::memcpy(bytes_[k], bytes.data(), length_);
    }
    runs_ = std::move(runs);
    usable_ = true;
}

RunPlanes::RunPlanes(RunGroups runs, unsigned char blank)
    : runs_(std::move(runs)), length_(1), blank_(blank), usable_(runs_.usable()) {
    for (std::size_t k = 0; k < runs_.characters().size(); ++k)
        bytes_[k][0] = static_cast<unsigned char>(0x80 + k);
}

#ifdef MIRELO_X86

namespace {

// Where each character starts among 64 bytes, and where the blanks are, in
// two vectors of 32 bytes; a character is known by all its bytes.
template <std::size_t Kinds, unsigned Length>
struct ByteKinds {
    __m256i byte[Kinds][Length];
    __m256i blank;

    template <typename Bytes>
    MIRELO_AVX2 ByteKinds(const Bytes& bytes, unsigned char blank_byte) {
        for (std::size_t k = 0; k < Kinds; ++k) {
            for (unsigned j = 0; j < Length; ++j) byte[k][j] = _mm256_set1_epi8(char(bytes[k][j]));
        }
        blank = _mm256_set1_epi8(char(blank_byte));
    }
    MIRELO_AVX2 static std::uint64_t bits(__m256i equal, unsigned half) {
        return std::uint64_t(std::uint32_t(_mm256_movemask_epi8(equal))) << (32 * half);
    }
    // Reads Length - 1 bytes past the 64.
    MIRELO_AVX2 void operator()(const unsigned char* p, std::uint64_t* starts,
                                std::uint64_t& blanks) const {
        for (unsigned half = 0; half < 2; ++half) {
            __m256i x[Length];
            for (unsigned j = 0; j < Length; ++j)
                x[j] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * half + j));
            blanks |= bits(_mm256_cmpeq_epi8(x[0], blank), half);
            for (std::size_t k = 0; k < Kinds; ++k) {
                __m256i equal = _mm256_cmpeq_epi8(x[0], byte[k][0]);
                for (unsigned j = 1; j < Length; ++j)
                    equal = _mm256_and_si256(equal, _mm256_cmpeq_epi8(x[j], byte[k][j]));
                starts[k] |= bits(equal, half);
            }
        }
    }
};

// Puts `bits` at character `at` of a plane whose words up to at / 64 hold
// what came before; the next word gets the rest.
inline void append(std::uint64_t* plane, std::size_t at, std::uint64_t bits) {
    plane[at / 64] |= bits << (at % 64);
    plane[at / 64 + 1] = (bits >> 1) >> (63 - at % 64);
}

// The bytes up to and with character `last`, from the characters before
// each 64 bytes and the bytes among them that hold a character.
MIRELO_AVX2 std::size_t bytes_through(std::size_t last, const std::size_t* before,
                                      const std::uint64_t* indexes, std::size_t words) {
    const std::size_t word =
        std::size_t(std::upper_bound(before, before + words, last) - before) - 1;
    const std::uint64_t rank = last - before[word];
    return 64 * word + lowest_bit(_pdep_u64(std::uint64_t(1) << rank, indexes[word])) + 1;
}

}  // namespace

// Each 64 bytes add a bit to the planes for each character that starts in
// them, up to the first byte not inside a character of the planes, where the
// planes end and the reader stops. The blank ending the last group read tells
// how many bytes were read.
template <std::size_t Kinds, unsigned Length>
MIRELO_AVX2 std::size_t RunPlanes::read_kinds(const unsigned char*& from, const unsigned char* end,
                                              CodePoint* read, std::uint64_t& characters) const {
    constexpr std::size_t kWords = kBlock / 64;
    const std::size_t size = std::min(std::size_t(end - from), kBlock);
    const ByteKinds<Kinds, Length> kinds(bytes_, blank_);
    // Blanks, kinds (the run character's filled by the reader), digits.
    std::uint64_t planes[2 + Kinds][kWords + 2];
    std::uint64_t indexes[kWords];  // per 64 bytes, the bytes that have a bit
    std::size_t before[kWords];     // bits before those 64 bytes
    for (std::uint64_t* plane : planes) plane[0] = 0;
    std::size_t filled = 0, words = 0;
    std::uint64_t starts_before = 0;
    for (; 64 * words < size; ++words) {
        const unsigned char* const p = from + 64 * words;
        std::uint64_t starts[Kinds] = {}, blanks = 0;
        if (std::size_t(end - p) >= 64 + Length - 1) {
            kinds(p, starts, blanks);
        } else {
            unsigned char last[64 + 32] = {};
            std::memcpy(last, p, std::size_t(end - p));
            kinds(last, starts, blanks);
        }
        const std::uint64_t valid =
            low_bits(unsigned(std::min<std::size_t>(size - 64 * words, 64)));
        std::uint64_t any = 0;
        for (std::uint64_t& of_kind : starts) any |= of_kind &= valid;
        blanks &= valid;
        std::uint64_t inside = any | blanks;
        for (unsigned j = 1; j < Length; ++j) inside |= any << j | starts_before >> (64 - j);
        starts_before = any;
        // The planes end before the first byte outside the characters.
        const std::uint64_t outside = ~inside & valid;
        const std::uint64_t index =
            (any | blanks) & (outside != 0 ? low_bits(lowest_bit(outside)) : valid);
        indexes[words] = index;
        before[words] = filled;
        append(planes[0], filled, _pext_u64(blanks, index));
        for (std::size_t k = 1; k < Kinds; ++k)
            append(planes[1 + k], filled, _pext_u64(starts[k], index));
        filled += popcount(index);
        if (outside != 0) {
            ++words;
            break;
        }
    }
    for (std::uint64_t* plane : planes) plane[filled / 64 + 1] = 0;
    RunGroups::Planes view{planes[0], {}, planes[1 + Kinds]};
    for (std::size_t k = 0; k < Kinds; ++k) view.of_kind[k] = planes[1 + k];
    std::size_t at = 0;
    const std::size_t count = runs_.read_planes(view, filled, read, kMostRead, at);
    if (at == 0) return 0;
    from += bytes_through(at - 1, before, indexes, words);
    characters += at;
    return count;
}

template <std::size_t Kinds>
std::size_t RunPlanes::read_of_length(const unsigned char*& from, const unsigned char* end,
                                      CodePoint* read, std::uint64_t& characters) const {
    static_assert(kLongest == 3, "a reader for each length");
    switch (length_) {
        case 1:
            return read_kinds<Kinds, 1>(from, end, read, characters);
        case 2:
            return read_kinds<Kinds, 2>(from, end, read, characters);
        default:
            return read_kinds<Kinds, 3>(from, end, read, characters);
    }
}

std::size_t RunPlanes::read(const unsigned char*& from, const unsigned char* end, CodePoint* read,
                            std::uint64_t& characters) const {
    if (!usable_ || from == end) return 0;
    static_assert(kKinds == 4, "a reader for each count of characters");
    switch (runs_.characters().size()) {
        case 2:
            return read_of_length<2>(from, end, read, characters);
        case 3:
            return read_of_length<3>(from, end, read, characters);
        default:
            return read_of_length<4>(from, end, read, characters);
    }
}

#else

std::size_t RunPlanes::read(const unsigned char*&, const unsigned char*, CodePoint*,
                            std::uint64_t&) const {
    return 0;
}

#endif

}  // namespace engine
