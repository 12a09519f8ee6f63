// The command line: which translation, which language, which input.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "languages/languages.hpp"

namespace cli {

enum class Action { encode, decode, detect, help, version };

struct Invocation {
    Action action = Action::help;
    const languages::Row* row = nullptr;  // encode and decode
    std::string file;                     // empty for standard input
    // Bytes per read: a buffer that stays in the core's own cache makes the
    // kernel's copy into it several times cheaper.
    std::size_t chunk_size = std::size_t(1) << 16;
};

struct ParsedArguments {
    bool ok;
    Invocation invocation;
    std::string error;  // when not ok
};

// `arguments` without the program name.
ParsedArguments parse_arguments(const std::vector<std::string>& arguments);

// The row of `direction` for a language's own name or its English alias
// (in any letter case), or nullptr.
const languages::Row* find_language(const std::string& name, languages::Direction direction);

}  // namespace cli
