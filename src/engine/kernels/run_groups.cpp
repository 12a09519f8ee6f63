#include "engine/kernels/run_groups.hpp"

#include <algorithm>
#include <cstring>

#include "bits.hpp"
#include "engine/decoder.hpp"
#include "engine/token_alphabet.hpp"
#include "target_attributes.hpp"

#ifdef MIRELO_X86
#include <immintrin.h>
#endif

namespace engine {

namespace {

// The digit a replacement is, or -1.
int digit_of(const Text& replacement, std::int64_t base) {
    if (replacement.size() != 1 || replacement[0] < U'0' || replacement[0] > U'9') return -1;
    const int digit = int(replacement[0] - U'0');
    return digit < base ? digit : -1;
}

bool contains(const std::vector<CodePoint>& characters, CodePoint c) {
    return std::find(characters.begin(), characters.end(), c) != characters.end();
}

}  // namespace

RunGroups::RunGroups(const std::vector<Pass>& passes, std::int64_t base, CodePoint blank,
                     Route route) {
    usable_ = route >= Route::avx2 && recognise(passes, base, blank);
}

// Why such passes read a group g of these characters as the reader does:
// a run pass, a^k t, matches exactly where t stands after at least k a's, as
// the match holds one t, at its end, so that two never overlap; and the a's
// it takes are the ones right before that t, which no other run pass takes
// (those take only a's right before their own terminators). So the run
// passes, in any order, turn each such t and the k a's before it into its
// digit; a t after fewer a's stays and makes the group unreadable. The pass
// of a alone then turns each a left into its digit. No other pass can match
// in g, nor across the blank after it.
bool RunGroups::recognise(const std::vector<Pass>& passes, std::int64_t base, CodePoint blank) {
    if (base < 2 || base > 10) return false;
    std::vector<bool> acts(passes.size(), false);
    std::vector<CodePoint> made;  // what the acting passes write
    if (!take_run_passes(passes, base, blank, acts, made)) return false;
    // What the acting passes write must not be read again as a character of
    // a group, nor as a blank.
    for (const CodePoint c : made) {
        if (contains(characters_, c) || (c == blank && !is_whitespace(c))) return false;
    }
    // Every other pass holds a character that never stands in such a text.
    std::vector<CodePoint> present = characters_;
    present.push_back(blank);
    present.insert(present.end(), made.begin(), made.end());
    for (std::size_t i = 0; i < passes.size(); ++i) {
        const Text& pattern = passes[i].pattern;
        if (!acts[i] &&
            (pattern.empty() || std::all_of(pattern.begin(), pattern.end(),
                                            [&](CodePoint c) { return contains(present, c); })))
            return false;
    }
    Text blank_now(1, blank);
    for (const Pass& pass : passes) {
        if (!cuts_cleanly(blank_now, pass.pattern)) return false;
        blank_now = replace_whole(blank_now, pass);
    }
    fill_tables(unsigned(base));
    return is_blank_text(blank_now);
}

// The pass of the run character alone (the last pass of one character to a
// digit), the passes of runs and terminators before it, and those of the
// blank alone to whitespace.
bool RunGroups::take_run_passes(const std::vector<Pass>& passes, std::int64_t base, CodePoint blank,
                                std::vector<bool>& acts, std::vector<CodePoint>& made) {
    std::size_t alone = passes.size();
    for (std::size_t i = 0; i < passes.size(); ++i) {
        if (passes[i].pattern.size() == 1 && passes[i].pattern[0] != blank &&
            digit_of(passes[i].replacement, base) >= 0)
            alone = i;
    }
    if (alone == passes.size()) return false;
    const CodePoint run = passes[alone].pattern[0];
    characters_ = {run};
    digit_of_[0] = unsigned(digit_of(passes[alone].replacement, base));
    acts[alone] = true;
    made.push_back(passes[alone].replacement[0]);
    for (std::size_t i = 0; i < passes.size(); ++i) {
        const Text& pattern = passes[i].pattern;
        if (pattern == Text(1, blank) && is_blank_text(passes[i].replacement)) {
            acts[i] = true;
            made.insert(made.end(), passes[i].replacement.begin(), passes[i].replacement.end());
            continue;
        }
        const int digit = digit_of(passes[i].replacement, base);
        if (i > alone || pattern.size() < 2 || digit < 0 ||
            std::any_of(pattern.begin(), pattern.end() - 1, [&](CodePoint c) { return c != run; }))
            continue;
        const CodePoint terminator = pattern.back();
        if (terminator == run || terminator == blank || contains(characters_, terminator) ||
            characters_.size() > kMostTerminators || pattern.size() - 1 > kMostRun)
            return false;
        digit_of_[characters_.size()] = unsigned(digit);
        run_taken_[characters_.size()] = unsigned(pattern.size() - 1);
        characters_.push_back(terminator);
        made.push_back(passes[i].replacement[0]);
        acts[i] = true;
    }
    return true;
}

void RunGroups::fill_tables(unsigned base) {
    base_ = base;
    ninth_power_ = 1;
    for (unsigned b = 0; b < kHalfPlaces; ++b) ninth_power_ *= base_;
    for (std::size_t k = 0; k < characters_.size(); ++k) {
        for (unsigned bits = 0; bits < (1u << kHalfPlaces); ++bits) {
            for (unsigned b = 0; b < kHalfPlaces; ++b)
                halves_[k][bits] = halves_[k][bits] * base_ + ((bits >> b) & 1) * digit_of_[k];
        }
    }
}

#ifdef MIRELO_X86

namespace {

// At least kWindowBits bits of a plane from a character on, read from the
// byte that holds it (x86 keeps a word's low bits in its first byte).
constexpr unsigned kWindowBits = 64 - 7;
inline std::uint64_t window(const std::uint64_t* plane, std::size_t at) {
    std::uint64_t bits;
    std::memcpy(&bits, reinterpret_cast<const unsigned char*>(plane) + at / 8, sizeof(bits));
    return bits >> (at % 8);
}

// The `run` characters before each terminator of `here`, those of the next
// word's reaching back into this one.
inline std::uint64_t taken_before(std::uint64_t here, std::uint64_t next, unsigned run) {
    const auto before = [&](unsigned s) { return here >> s | next << (64 - s); };
    switch (run) {
        case 1:
            return before(1);
        case 2:
            return before(1) | before(2);
        case 3:
            return before(1) | before(2) | before(3);
        default:
            return before(1) | before(2) | before(3) | before(4);
    }
}

// The places a terminator may not stand in: before its run's end.
inline std::uint64_t too_near(unsigned run) {
    return (std::uint64_t(1) << run) - 1;
}

bool is_surrogate(std::uint64_t value) {
    return (value & ~std::uint64_t(0x7FF)) == 0xD800;
}

}  // namespace

// Per kind, where its digits stand among the group's, moved so that the last
// digit has place 0 of kMostPlaces; each half of the places is weighed by a
// table of the kind's digit.
template <std::size_t Kinds>
MIRELO_AVX2 MIRELO_INLINE std::uint64_t RunGroups::value_of(const std::uint64_t* of_kind,
                                                            std::uint64_t digits,
                                                            unsigned places) const {
    std::uint64_t first = 0, second = 0;
    for (std::size_t k = 0; k < Kinds; ++k) {
        if (digit_of_[k] == 0) continue;
        const std::uint64_t placed = _pext_u64(of_kind[k], digits) << (kMostPlaces - places);
        first += halves_[k][placed & low_bits(kHalfPlaces)];
        second += halves_[k][placed >> kHalfPlaces];
    }
    return first * ninth_power_ + second;
}

// A text of runs, 64 characters at a time: a terminator takes the
// run characters before it (from the next word too), every other run
// character is a digit of its own, and a taken character that is no run
// character stops the reading before its group. The planes begin at a
// group's start, so a terminator too near it is one too near character 0.
// The groups' blanks then come from the blank plane alone, so that finding
// the next group does not wait on reading this one.
template <std::size_t Kinds>
MIRELO_AVX2 std::size_t RunGroups::read_planes_of(Planes& planes, std::size_t characters,
                                                  CodePoint* read, std::size_t most,
                                                  std::size_t& passed) const {
    const std::size_t words = characters / 64 + 1;
    std::size_t stop = characters;  // the first character no group may hold
    for (std::size_t w = 0; w < words; ++w) {
        std::uint64_t ends = 0, taken = 0, cut_short = 0;
        for (std::size_t k = 1; k < Kinds; ++k) {
            const std::uint64_t here = planes.of_kind[k][w], next = planes.of_kind[k][w + 1];
            ends |= here;
            taken |= taken_before(here, next, run_taken_[k]);
            if (w == 0) cut_short |= here & too_near(run_taken_[k]);
        }
        const std::uint64_t valid = w + 1 < words ? ~std::uint64_t(0) : low_bits(characters % 64);
        const std::uint64_t runs = ~(ends | planes.blanks[w]) & valid;
        const std::uint64_t bad = ((taken & ~runs) | cut_short) & valid;
        planes.of_kind[0][w] = runs & ~taken;
        planes.digits[w] = ends | (runs & ~taken);
        planes.of_kind[0][w + 1] = 0;
        planes.digits[w + 1] = 0;
        if (bad != 0) {
            stop = 64 * w + lowest_bit(bad);
            break;
        }
    }
    std::size_t at = 0, word = 0, count = 0;
    std::uint64_t blanks = planes.blanks[0];
    while (count < most) {
        while (blanks == 0 && word < stop / 64) blanks = planes.blanks[++word];
        if (blanks == 0) break;
        const std::size_t blank = 64 * word + lowest_bit(blanks);
        blanks &= blanks - 1;
        // A taken blank is a terminator's too near the next group's start:
        // what it took from this group would be missing.
        if (blank >= stop || blank - at > kWindowBits) break;
        const std::uint64_t digits = _bzhi_u64(window(planes.digits, at), unsigned(blank - at));
        const unsigned places = popcount(digits);
        if (places > kMostPlaces) break;
        std::uint64_t of_kind[Kinds];
        for (std::size_t k = 0; k < Kinds; ++k) of_kind[k] = window(planes.of_kind[k], at);
        const std::uint64_t value = value_of<Kinds>(of_kind, digits, places);
        if (value > kMaxCodePoint || is_surrogate(value)) break;
        read[count] = CodePoint(value);
        count += std::size_t(blank != at);
        at = blank + 1;
    }
    passed = at;
    return count;
}

std::size_t RunGroups::read_planes(Planes& planes, std::size_t characters, CodePoint* read,
                                   std::size_t most, std::size_t& passed) const {
    passed = 0;
    if (!usable_) return 0;
    switch (characters_.size()) {
        case 2:
            return read_planes_of<2>(planes, characters, read, most, passed);
        case 3:
            return read_planes_of<3>(planes, characters, read, most, passed);
        default:
            return read_planes_of<4>(planes, characters, read, most, passed);
    }
}

#else

std::size_t RunGroups::read_planes(Planes&, std::size_t, CodePoint*, std::size_t,
                                   std::size_t& passed) const {
    passed = 0;
    return 0;
}

#endif

}  // namespace engine
