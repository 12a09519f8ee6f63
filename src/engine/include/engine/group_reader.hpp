// Reading one digit group as the interpreter's int(group, base) and chr() do,
// for the groups the engine leaves to its caller. The group arrives one
// character at a time, so that a group of any length takes constant memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/text.hpp"

namespace engine {

enum class GroupProblem {
    none,
    not_a_number,     // int() rejects the text
    too_many_digits,  // int() refuses more digits in a base not a power of two
    negative,         // chr() takes no negative value
    too_large,        // chr() takes nothing above U+10FFFF
};

struct GroupValue {
    GroupProblem problem;
    CodePoint character;  // when problem is none
};

// The interpreter's cap on the digits it reads in bases that are not powers
// of two.
constexpr unsigned kMaxDigitsOfOtherBases = 4300;

// `base` from 2 to 36. The group holds no whitespace (the groups are cut at
// whitespace): an optional sign, in bases 2, 8 and 16 an optional prefix
// (0b, 0o, 0x in either case), then digits of any Unicode decimal script with
// single underscores between them.
class GroupReader {
  public:
    explicit GroupReader(unsigned base) : base_(base) {}

    void take(CodePoint c);
    // The value of the characters taken; the reader then starts a new group.
    GroupValue finish();

  private:
    enum class Stage { sign, prefix, zero_or_prefix, after_prefix, first_digit, digits, decided };
    void take_digit_character(CodePoint c);
    void decide(GroupProblem problem);

    unsigned base_;
    Stage stage_ = Stage::sign;
    bool negative_ = false;
    bool after_underscore_ = false;
    std::uint64_t digits_ = 0;
    std::uint64_t value_ = 0;  // stops growing once beyond the last code point
    GroupProblem decided_ = GroupProblem::none;
};

}  // namespace engine
