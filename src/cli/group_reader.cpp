#include "cli/group_reader.hpp"

#include <cstddef>

#include "cli/decimal_digits.hpp"

namespace cli {

namespace {

// Every character as the interpreter sees it before it parses: characters
// below U+007F stay, other decimal digits become the ASCII digit of their
// value, and anything else can never be part of a number.
constexpr engine::CodePoint kUnreadable = 0x7F;

engine::CodePoint as_ascii(engine::CodePoint c) {
    if (c < 0x7F) return c;
    const int value = decimal_digit_value(c);
    return value < 0 ? kUnreadable : engine::CodePoint(U'0' + value);
}

// The value of an ASCII digit or letter as a digit, or 99.
unsigned digit_value(engine::CodePoint c) {
    if (c >= U'0' && c <= U'9') return unsigned(c - U'0');
    if (c >= U'a' && c <= U'z') return unsigned(c - U'a') + 10;
    if (c >= U'A' && c <= U'Z') return unsigned(c - U'A') + 10;
    return 99;
}

bool is_prefix_letter(engine::CodePoint c, unsigned base) {
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

class Scanner {
  public:
    explicit Scanner(const engine::Text& group) : group_(group) {}
    engine::CodePoint peek(std::size_t ahead = 0) const {
        const std::size_t at = position_ + ahead;
        return at < group_.size() ? as_ascii(group_[at]) : 0;
    }
    void skip(std::size_t count = 1) { position_ += count; }
    bool at_end() const { return position_ >= group_.size(); }

  private:
    const engine::Text& group_;
    std::size_t position_ = 0;
};

}  // namespace

GroupValue read_group(const engine::Text& group, unsigned base) {
    const GroupValue not_a_number{GroupProblem::not_a_number, 0};
    Scanner scan(group);
    const bool negative = scan.peek() == U'-';
    if (negative || scan.peek() == U'+') scan.skip();
    if (scan.peek() == U'0' && is_prefix_letter(scan.peek(1), base)) {
        scan.skip(2);
        if (scan.peek() == U'_') scan.skip();
    }
    if (scan.peek() == U'_') return not_a_number;

    // Leading zeros do not count towards the value, but they do count as digits.
    std::size_t digits = 0;
    std::uint64_t value = 0;
    bool after_underscore = false;
    for (;; scan.skip()) {
        const engine::CodePoint c = scan.peek();
        if (c == U'_' && !scan.at_end()) {
            if (after_underscore) return not_a_number;
            after_underscore = true;
            continue;
        }
        const unsigned digit = digit_value(c);
        if (scan.at_end() || digit >= base) break;
        after_underscore = false;
        ++digits;
        if (value <= engine::kMaxCodePoint) value = value * base + digit;
    }
    if (after_underscore) return not_a_number;
    const bool power_of_two = (base & (base - 1)) == 0;
    if (!power_of_two && digits > kMaxDigitsOfOtherBases) return {GroupProblem::too_many_digits, 0};
    if (digits == 0 || !scan.at_end()) return not_a_number;
    if (negative && value != 0) return {GroupProblem::negative, 0};
    if (value > engine::kMaxCodePoint) return {GroupProblem::too_large, 0};
    return {GroupProblem::none, engine::CodePoint(value)};
}

}  // namespace cli
