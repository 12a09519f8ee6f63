#include "decimal_digits.hpp"

#include <algorithm>

namespace engine {

int decimal_digit_value(CodePoint c) {
    const DigitRun* end = decimal_digit_runs + decimal_digit_run_count;
    const DigitRun* run =
        std::upper_bound(decimal_digit_runs, end, c,
                         [](CodePoint value, const DigitRun& r) { return value < r.first; });
    if (run == decimal_digit_runs) return -1;
    --run;
    return c <= run->last ? run->value_of_first + int(c - run->first) : -1;
}

}  // namespace engine
