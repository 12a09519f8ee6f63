// One run of the command: arguments in, exit status out.
#pragma once

#include <string>
#include <vector>

namespace cli {

enum ExitStatus { kSuccess = 0, kBadInput = 1, kBadUsage = 2 };

// `arguments` without the program name.
int run(const std::vector<std::string>& arguments);

}  // namespace cli
