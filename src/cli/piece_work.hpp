// What a worker does with the pieces of an input that it is given: each
// piece translated into the worker's output, in the order the worker gets
// them, with a stream of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "languages/languages.hpp"
#include "text_cuts.hpp"
#include "translation.hpp"
#include "utf8_input.hpp"
#include "utf8_output.hpp"

namespace cli {

struct PieceOfInput {
    const unsigned char* bytes;
    std::size_t size;
    bool opens;   // a text starts here: nothing before it is the worker's
    bool closes;  // the text ends here: what follows is another's
    bool first;   // the input starts here
    bool last;    // the input ends here
};

class PieceWork {
  public:
    virtual ~PieceWork() = default;
    // False when the piece is not a text in the language (or not UTF-8).
    virtual bool translate(const PieceOfInput& piece, Utf8Output& out) = 0;
    // Characters of the text the last piece closed.
    virtual std::uint64_t characters() const = 0;
    // After a failure: the message, counting offsets from `characters_before`
    // characters and `bytes_before` bytes ahead of the text.
    virtual std::string failure_text(std::uint64_t characters_before,
                                     std::uint64_t bytes_before) const = 0;
};

// Where the row's texts can be cut for its work.
TextCuts cuts_for(const languages::Row& row);
std::unique_ptr<PieceWork> work_for(const languages::Row& row);

}  // namespace cli
