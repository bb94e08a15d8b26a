// quelvor-handheld: talks to a Quelvor server as a milk-collection handheld
// does. See --help.
#include "tools/HandheldCommand.h"

#include <iostream>

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    return quelvor::tools::runHandheldCommand(args, std::cout, std::cerr);
}
