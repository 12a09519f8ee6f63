// Groups written in runs of one character, as cat language is, read straight
// from bytes: from UTF-8, or from a text narrowed to one byte per character.
// A block of bytes becomes bit planes, one bit per character for the blank
// and for each of the run reader's characters, and the run reader takes the
// groups from the planes (see RunGroups).
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/kernels/route.hpp"
#include "engine/kernels/run_groups.hpp"
#include "engine/text.hpp"

namespace engine {

class RunPlanes {
  public:
    // Usable where the engine reads the groups as runs with `blank`
    // as the blank (on the avx2 route), and the run character and the
    // terminators are of one length in UTF-8.
    RunPlanes(const std::vector<Pass>& passes, std::int64_t base, unsigned char blank, Route route);
    // The same from a narrowed text, where byte 0x80 + k stands for
    // runs.characters()[k].
    RunPlanes(RunGroups runs, unsigned char blank);

    bool usable() const { return usable_; }

    // The most characters one call writes.
    static constexpr std::size_t kMostRead = 256;

    // Reads whole groups from `from` on, each ended by the blank, and writes
    // their characters to `read`. Stops before a group of anything else, or
    // whose number is above U+10FFFF or a surrogate, which the long way
    // reports. Moves `from` past the last group read, adds the characters
    // passed over to `characters`, and returns the count written.
    std::size_t read(const unsigned char*& from, const unsigned char* end, CodePoint* read,
                     std::uint64_t& characters) const;

    // Bytes turned into planes at a time.
    static constexpr std::size_t kBlock = 4096;

  private:
    static constexpr std::size_t kKinds = 1 + RunGroups::kMostTerminators;
    static constexpr unsigned kLongest = 3;  // UTF-8 bytes of a character read

    template <std::size_t Kinds, unsigned Length>
    std::size_t read_kinds(const unsigned char*& from, const unsigned char* end, CodePoint* read,
                           std::uint64_t& characters) const;
    template <std::size_t Kinds>
    std::size_t read_of_length(const unsigned char*& from, const unsigned char* end,
                               CodePoint* read, std::uint64_t& characters) const;

    RunGroups runs_;
    unsigned char bytes_[kKinds][kLongest] = {};  // each character's UTF-8
    unsigned length_ = 0;
    unsigned char blank_ = 0;
    bool usable_ = false;
};

}  // namespace engine
