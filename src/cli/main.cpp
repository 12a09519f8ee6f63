// mirelo: the joke languages on the command line.
#include <string>
#include <vector>

#include "platform/system_io.hpp"
#include "run.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> arguments = platform::system_io::utf8_arguments(argc, argv);
    if (!arguments.empty()) arguments.erase(arguments.begin());
    return cli::run(arguments);
}
