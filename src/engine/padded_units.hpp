// Code units of one width followed by zeros, so that readers may copy them in
// blocks of a fixed size without running past the end.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/text.hpp"

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
        units_.resize(size());
        for (std::size_t i = 0; i < length; ++i) units_.push_back(static_cast<Unit>(chars[i]));
        units_.resize(units_.size() + kPadding, Unit(0));
    }

    const Unit* data() const { return units_.data(); }
    std::size_t size() const { return units_.size() - kPadding; }

  private:
    std::vector<Unit> units_;
};

}  // namespace engine
