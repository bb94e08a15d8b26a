#pragma once
// The one-shot commands of quelvord that work on the configuration file and
// end: --check-config and --set-credentials. They write their report to the
// streams given and return the exit status. Main thread, with no server
// running in this process.

#include <cstdio>
#include <istream>
#include <string>

namespace quelvor::app {

// Loads the file, prints the settings it gives (passwords masked), tries the
// collection database (and reads the company and the expected version from
// PARAMETROS) and, when the integration is on, the ERP database. 0 when the
// server could start with it; 1 with the reasons otherwise.
int checkConfig(const std::string& path, std::FILE* out, std::FILE* err);

// Stores `user` and the password (the first line of `password`) for the
// database "coleta" or "tarvell", scrambled, and writes the file as the
// window's save does: all nine keys, everything else in the file kept. A
// file whose values do not read cleanly is left alone. 0 on success, 1 with
// the reason on `err`.
int setCredentials(const std::string& path, const std::string& base, const std::string& user,
                   std::istream& password, std::FILE* out, std::FILE* err);

} // namespace quelvor::app
