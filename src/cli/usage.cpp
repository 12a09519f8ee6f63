#include "cli/usage.hpp"

namespace cli {

const char kVersion[] = "2.5.0";

const char kHelpText[] =
    "Usage: mirelo encode LANGUAGE [FILE]\n"
    "       mirelo decode LANGUAGE [FILE]\n"
    "       mirelo decode --detect [FILE]\n"
    "\n"
    "Translates text between ordinary text and one of four joke languages, with\n"
    "the same results as the Mirelo window. Reads UTF-8 from FILE, or from\n"
    "standard input when FILE is missing or -, and writes UTF-8 to standard\n"
    "output. The bytes are taken as they are: nothing is added, not even a line\n"
    "feed at the end.\n"
    "\n"
    "Commands:\n"
    "  encode LANGUAGE   ordinary text into LANGUAGE\n"
    "  decode LANGUAGE   LANGUAGE back into ordinary text\n"
    "\n"
    "Languages (either name):\n"
    "  气泡语  bubble\n"
    "  鸽语    pigeon\n"
    "  猫语    cat\n"
    "  猴语    monkey\n"
    "\n"
    "Options:\n"
    "  --detect    with decode, instead of LANGUAGE: find the language the text\n"
    "              is in and decode it. Exactly one language must read the text,\n"
    "              or all that read it must give the same result. The output is\n"
    "              held in memory until only one language can still read the\n"
    "              text; a text that several languages read to its end (digits\n"
    "              and blanks only) is held completely.\n"
    "  -h, --help  show this help and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "Input of any size is translated as it arrives, in little memory: output\n"
    "begins before the input ends.\n"
    "\n"
    "Exit status:\n"
    "  0  the whole input was translated\n"
    "  1  the input could not be translated (not valid UTF-8, not in the\n"
    "     language) or could not be read or written\n"
    "  2  the command line is wrong (command, option or language unknown,\n"
    "     arguments missing or too many)\n"
    "\n"
    "A status other than 0 means the output is not a translation. When standard\n"
    "output is a regular file, whatever was written to it is cut off again. To a\n"
    "pipe or a terminal, output written before the error cannot be taken back:\n"
    "discard it.\n";

const char kUsageHint[] = "Try 'mirelo --help' for more information.\n";

}  // namespace cli
