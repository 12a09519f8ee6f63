// Groups written in runs of one character, each run ended by a terminator or
// standing alone, as cat language is: "喵喵喵！" is 2, "喵喵？" is 0, and
// each "喵" left over is 1. The passes are shown to act so on any group of
// these characters (see the constructor), and the reader takes a group's
// digits from bit planes of the text (see RunPlanes, which makes them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/kernels/route.hpp"
#include "engine/replace_chain.hpp"

namespace engine {

class RunGroups {
  public:
    static constexpr std::size_t kMostTerminators = 3;
    static constexpr unsigned kMostRun = 4;  // run characters before a terminator

    // Usable where the passes are, apart from passes that can never match in
    // a text of these characters, the blank and digits: passes of a run of
    // the run character and a terminator, each to one digit; after them one
    // pass of the run character alone to a digit; and passes of the blank
    // alone to whitespace. What follows a blank never completes a match
    // begun before it. Only on the avx2 route.
    RunGroups(const std::vector<Pass>& passes, std::int64_t base, CodePoint blank, Route route);
    RunGroups() = default;  // not usable

    bool usable() const { return usable_; }

    // The run character, then the terminators.
    const std::vector<CodePoint>& characters() const { return characters_; }

    // The most digits a group read may have (its number fits in 64 bits).
    static constexpr unsigned kMostPlaces = 18;

    // A text of the blank and characters() alone, as bit planes: bit i % 64
    // of word i / 64 of `blanks` tells whether character i is the blank, of
    // of_kind[k] for k from 1 whether it is characters()[k], a terminator;
    // every other character is the run character. A word of zeros follows
    // the last character; of_kind[0] and `digits` have room for as many
    // words and are filled by the reader.
    struct Planes {
        const std::uint64_t* blanks;
        std::uint64_t* of_kind[1 + kMostTerminators];
        std::uint64_t* digits;
    };
    // Reads whole groups, each ended by a blank, from the start of planes
    // that begin with a group, while fewer than `most` characters are
    // written; stops before a group the passes leave with a terminator in it,
    // of more than kMostPlaces digits or 57 characters, or whose number is
    // above U+10FFFF or a surrogate. Sets `passed` to the characters passed
    // over and returns the count written to `read`. The planes are used up.
    std::size_t read_planes(Planes& planes, std::size_t characters, CodePoint* read,
                            std::size_t most, std::size_t& passed) const;

  private:
    bool recognise(const std::vector<Pass>& passes, std::int64_t base, CodePoint blank);
    bool take_run_passes(const std::vector<Pass>& passes, std::int64_t base, CodePoint blank,
                         std::vector<bool>& acts, std::vector<CodePoint>& made);
    void fill_tables(unsigned base);
    // A group's number from PEXT and tables, instead of a step per digit.
    template <std::size_t Kinds>
    std::uint64_t value_of(const std::uint64_t* of_kind, std::uint64_t digits,
                           unsigned places) const;
    template <std::size_t Kinds>
    std::size_t read_planes_of(Planes& planes, std::size_t characters, CodePoint* read,
                               std::size_t most, std::size_t& passed) const;

    std::vector<CodePoint> characters_;
    unsigned digit_of_[1 + kMostTerminators] = {};   // per character
    unsigned run_taken_[1 + kMostTerminators] = {};  // run characters a terminator takes
    unsigned base_ = 0;
    // Per kind, the number that half of the places make where the bits say
    // the kind's digit stands, the first place in bit 0; and the weight of
    // the first half.
    static constexpr unsigned kHalfPlaces = kMostPlaces / 2;
    std::uint32_t halves_[1 + kMostTerminators][1u << kHalfPlaces] = {};
    std::uint64_t ninth_power_ = 0;
    bool usable_ = false;
};

}  // namespace engine
