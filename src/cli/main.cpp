// mirelo: the joke languages on the command line.
#include <string>
#include <vector>

#include "cli/run.hpp"
#include "platform/system_io.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> arguments = platform::system_io::utf8_arguments(argc, argv);
    if (!arguments.empty()) arguments.erase(arguments.begin());
    return cli::run(arguments);
}
