// Reading one digit group as the interpreter's int(group, base) and chr() do,
// for the groups the engine leaves to its caller.
#pragma once

#include "engine/text.hpp"

namespace cli {

enum class GroupProblem {
    none,
    not_a_number,     // int() rejects the text
    too_many_digits,  // int() refuses more digits in a base not a power of two
    negative,         // chr() takes no negative value
    too_large,        // chr() takes nothing above U+10FFFF
};

struct GroupValue {
    GroupProblem problem;
    engine::CodePoint character;  // when problem is none
};

// The interpreter's cap on the digits it reads in bases that are not powers
// of two.
constexpr unsigned kMaxDigitsOfOtherBases = 4300;

// `base` from 2 to 36. The group holds no whitespace (the groups are cut at
// whitespace): an optional sign, in bases 2, 8 and 16 an optional prefix
// (0b, 0o, 0x in either case), then digits of any Unicode decimal script with
// single underscores between them.
GroupValue read_group(const engine::Text& group, unsigned base);

}  // namespace cli
