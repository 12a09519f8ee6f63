// What a worker does with the pieces of an input that it is given: each
// piece decoded into the worker's output, in the order the worker gets
// them, with a stream of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "languages/languages.hpp"
#include "translation.hpp"
#include "utf8_input.hpp"
#include "utf8_output.hpp"

namespace cli {

struct PieceOfInput {
    const unsigned char* bytes;
    std::size_t size;
    bool opens;   // a text starts here: nothing before it is the worker's
    bool closes;  // the text ends here: what follows is another's
};

class PieceWork {
  public:
    explicit PieceWork(const languages::Row& row) : stream_(row) {}

    // False when the piece is not a text in the language (or not UTF-8).
    bool translate(const PieceOfInput& piece, Utf8Output& out);
    // Characters of the text the last piece closed.
    std::uint64_t characters() const { return characters_; }
    // After a failure: the message, counting offsets from `characters_before`
    // characters and `bytes_before` bytes ahead of the text.
    std::string failure_text(std::uint64_t characters_before, std::uint64_t bytes_before) const {
        return read_ ? utf8_.failure_text(bytes_before) : stream_.failure_text(characters_before);
    }

  private:
    DecodingStream stream_;
    Utf8Input utf8_;
    std::uint64_t characters_ = 0;
    bool read_ = true;  // false when the stream failed rather than UTF-8
};

}  // namespace cli
