// Code units of one width followed by zeros, so that readers may copy them in
// blocks of a fixed size without running past the end.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/text.hpp"
#include "engine/utf8.hpp"

namespace engine {

template <typename Unit>
class PaddedUnits {
  public:
    // In units, so at least this many bytes in every width.
    static constexpr std::size_t kPadding = 64;

    PaddedUnits() : units_(kPadding, Unit(0)) {}

    // Each character is cut to the width of Unit: readers only read the units
    // of characters that fit.
    void append(const CodePoint* chars, std::size_t length) {
        add([&](std::vector<Unit>& units) {
            for (std::size_t i = 0; i < length; ++i) units.push_back(static_cast<Unit>(chars[i]));
        });
    }
    // For units of char: the UTF-8 bytes of each character.
    void append_utf8(const CodePoint* chars, std::size_t length) {
        add([&](std::vector<Unit>& units) {
            for (std::size_t i = 0; i < length; ++i) {
                char bytes[4];
                units.insert(units.end(), bytes, bytes + encode_utf8(chars[i], bytes));
            }
        });
    }
    void clear() { units_.assign(kPadding, Unit(0)); }

    const Unit* data() const { return units_.data(); }
    std::size_t size() const { return units_.size() - kPadding; }

  private:
    // Adds units where the padding was, then pads again.
    template <typename Add>
    void add(Add&& add_units) {
        units_.resize(size());
        add_units(units_);
        units_.resize(units_.size() + kPadding, Unit(0));
    }

    std::vector<Unit> units_;
};

}  // namespace engine
