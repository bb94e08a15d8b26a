#pragma once
// The command line of quelvor-handheld, the handheld simulator: parses the
// arguments, talks to the server and reports. Kept apart from main() so that
// the tests run it in process with their own streams.

#include <iosfwd>
#include <string>
#include <vector>

namespace quelvor::tools {

// Runs one command; `args` are the arguments after the program's name. The
// lines exchanged and the outcome go to `out`, failures to `err`. Returns the
// exit status: 0 done, or the number of the Failure (HandheldConnection.h).
int runHandheldCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The text of --help.
std::string handheldUsage();

} // namespace quelvor::tools
