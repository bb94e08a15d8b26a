#pragma once
// Reading the configuration file again while the server runs (SIGHUP). A
// file that cannot be used leaves the running settings alone; a changed port,
// database or integration switch restarts the service as a save answered with
// OK does; a changed start-up wait is only kept, and a changed [Status] is
// taken up by the status page without a restart. Each outcome is one log
// line that says what changed (passwords only as changed). Main thread only,
// with no other command under way.

#include "base/Settings.h"

#include <string>
#include <vector>

namespace quelvor::app {

class TFrmPrincipal;

// The fields of the file that differ, as "Porta 7010 -> 7011" or "Senha
// Coleta alterada"; the version and the company, which the file does not
// hold, are not compared.
std::vector<std::string> configChanges(const base::Settings& before, const base::Settings& after);

// Re-reads core.configPath() and applies it. True when the file was taken.
bool recarregaConfiguracao(TFrmPrincipal& core);

} // namespace quelvor::app
