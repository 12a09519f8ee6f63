// The texts of --help and --version.
#pragma once

namespace cli {

extern const char kVersion[];
extern const char kHelpText[];
extern const char kUsageHint[];

}  // namespace cli
