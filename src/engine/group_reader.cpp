#include "engine/group_reader.hpp"

#include "decimal_digits.hpp"

namespace engine {

namespace {

// Every character as the interpreter sees it before it parses: characters
// below U+007F stay, other decimal digits become the ASCII digit of their
// value, and anything else can never be part of a number.
constexpr CodePoint kUnreadable = 0x7F;

CodePoint as_ascii(CodePoint c) {
    if (c < 0x7F) return c;
    const int value = decimal_digit_value(c);
    return value < 0 ? kUnreadable : CodePoint(U'0' + value);
}

// The value of an ASCII digit or letter as a digit, or 99.
unsigned digit_value(CodePoint c) {
    if (c >= U'0' && c <= U'9') return unsigned(c - U'0');
    if (c >= U'a' && c <= U'z') return unsigned(c - U'a') + 10;
    if (c >= U'A' && c <= U'Z') return unsigned(c - U'A') + 10;
    return 99;
}

bool is_prefix_letter(CodePoint c, unsigned base) {
    switch (base) {
        case 2:
            return c == U'b' || c == U'B';
        case 8:
            return c == U'o' || c == U'O';
        case 16:
            return c == U'x' || c == U'X';
        default:
            return false;
    }
}

bool is_power_of_two(unsigned base) {
    return (base & (base - 1)) == 0;
}

}  // namespace

void GroupReader::take(CodePoint raw) {
    const CodePoint c = as_ascii(raw);
    switch (stage_) {
        case Stage::sign:
            if (c == U'-' || c == U'+') {
                negative_ = c == U'-';
                stage_ = Stage::prefix;
                return;
            }
            [[fallthrough]];
        case Stage::prefix:
            if (c == U'0') {
                stage_ = Stage::zero_or_prefix;
                return;
            }
            stage_ = Stage::first_digit;
            break;
        case Stage::zero_or_prefix:
            if (is_prefix_letter(c, base_)) {
                stage_ = Stage::after_prefix;
                return;
            }
            stage_ = Stage::digits;
            take_digit_character(U'0');
            break;
        case Stage::after_prefix:
            stage_ = Stage::first_digit;
            if (c == U'_') return;  // one underscore may follow the prefix
            break;
        default:
            break;
    }
    if (stage_ == Stage::first_digit) {
        if (c == U'_') return decide(GroupProblem::not_a_number);
        stage_ = Stage::digits;
    }
    if (stage_ == Stage::digits) take_digit_character(c);
}

// The digits with single underscores between them; the first other character
// settles the outcome, whatever follows.
void GroupReader::take_digit_character(CodePoint c) {
    if (c == U'_') {
        if (after_underscore_) return decide(GroupProblem::not_a_number);
        after_underscore_ = true;
        return;
    }
    const unsigned digit = digit_value(c);
    if (digit >= base_) {
        const bool too_many =
            !after_underscore_ && !is_power_of_two(base_) && digits_ > kMaxDigitsOfOtherBases;
        return decide(too_many ? GroupProblem::too_many_digits : GroupProblem::not_a_number);
    }
    after_underscore_ = false;
    ++digits_;
    if (value_ <= kMaxCodePoint) value_ = value_ * base_ + digit;
}

void GroupReader::decide(GroupProblem problem) {
    decided_ = problem;
    stage_ = Stage::decided;
}

GroupValue GroupReader::finish() {
    if (stage_ == Stage::zero_or_prefix) take_digit_character(U'0');
    GroupValue result{GroupProblem::none, 0};
    if (stage_ == Stage::decided || after_underscore_) {
        result.problem = stage_ == Stage::decided ? decided_ : GroupProblem::not_a_number;
    } else if (!is_power_of_two(base_) && digits_ > kMaxDigitsOfOtherBases) {
        result.problem = GroupProblem::too_many_digits;
    } else if (digits_ == 0) {
        result.problem = GroupProblem::not_a_number;
    } else if (negative_ && value_ != 0) {
        result.problem = GroupProblem::negative;
    } else if (value_ > kMaxCodePoint) {
        result.problem = GroupProblem::too_large;
    } else {
        result.character = CodePoint(value_);
    }
    *this = GroupReader(base_);
    return result;
}

}  // namespace engine
