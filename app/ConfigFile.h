#pragma once
// The configuration file "ConfigQuelvorLeite.ini" beside the executable: the
// listener port, the two database connections (path, user, password), the ERP
// integration switch and the start-up wait. Users and passwords stand in it
// scrambled (Encript); the expected handheld version and the company
// identifier live in PARAMETROS, not here.
//
// The start-up reads the file once (loadConfig) and the save of the operator's
// changes writes it (saveConfig); both run on the main thread. configPath()
// and programDirectory() may be called from any thread.
//
// Layout of the file (section / key -> field):
//   Socket / Porta                 edtPorta, decimal            (missing: 0)
//   Base Tarvell / Base            EdtBaseTarvell               (missing: empty)
//   Base Tarvell / Usuario, Senha  EdtUsuarioTarvell, EdtSenhaTarvell, scrambled
//   Base Tarvell / Integra         ch_integratarvell, "S" or "N" (missing: "S")
//   Inicialização / Tempo          edtTempoInicializacao, decimal (missing: 0)
//   Base Coleta / Base             EdtBaseColeta
//   Base Coleta / Usuario, Senha   EdtUsuarioColeta, EdtSenhaColeta, scrambled
//   Servidor / TempoEsperaBloqueio seconds a statement waits for a locked row (10; 0: no limit)
//   Servidor / TempoOcioso         seconds of silence before a handheld is disconnected (1800; 0: never)
//   Servidor / MaximoConexoes      handhelds connected at once (2000)
//   Servidor / PoolConexoes        attachments kept per database between requests (32; 0: none)
//   Status / Porta                 the status page's port (missing or 0: no page)
//   Status / Endereco              the address it listens on (127.0.0.1)
//   Status / Token                 the bearer token it requires on any other address
//   Alertas / TemperaturaMaxima    degrees Celsius, C form (missing or empty: no alert)
//   Alertas / AlizarolReprovado    COL_RESULTADOALIZAROL values that fail, with commas between
//   Alertas / AcidezReprovada      COL_TESTEACIDEZ texts that fail (any case), with commas between
// The Servidor, Status and Alertas keys are not in the window: a save leaves
// them as they are.
// IniFile.h tells how names are matched, how values are quoted and cut at 2047
// code units, and how the file's encoding is told apart.

#include "base/Settings.h"

#include <string>
#include <string_view>
#include <vector>

namespace quelvor::app {

inline constexpr std::string_view kConfigFileName = "ConfigQuelvorLeite.ini";

// The directory of the running executable, with its trailing '/'; found once
// through /proc/self/exe (the working directory when that cannot be read).
const std::string& programDirectory();

// programDirectory() followed by kConfigFileName; computed once.
const std::string& configPath();

struct LoadResult
{
    bool fileFound = false;            // false: nothing was read
    bool readAsWindows1252 = false;    // the file was written by an older, ANSI installation
    std::vector<std::string> messages; // lines for the operator log: values that were ignored
};

// Loads the file at `path` into the nine fields that the file holds;
// edtVersaoCliente and edtIDEmpresa are not touched.
//
// No file (or a directory in its place): the nine fields take their empty
// values, the switch off and the wait 0. A key that is missing takes its
// default from the layout above; the switch is on exactly when "Integra" reads
// "S" (case-sensitive). "Tempo" that is not a whole number reads as 0, with a
// message for the log when it was not empty.
//
// "Porta" never raises: empty reads as 0 (not configured); a text that is not
// a whole number, or does not fit an int, reads as 0 too, with a message for
// the log. Any other number is kept as it is, negative or above 65535 alike:
// the start treats 0 or less as not configured, and the listener decides what
// to do with a port that does not fit 16 bits.
//
// A file that exists but cannot be read is taken as empty (every key takes its
// default, as the platform's profile routines do), with a message for the log.
LoadResult loadConfig(const std::string& path, base::Settings& settings);

// Writes the nine keys in the order Porta; Base Tarvell Base, Usuario, Senha;
// Base Coleta Base, Usuario, Senha; Base Tarvell Integra; Inicialização Tempo,
// keeping every other section, key and comment already in the file. The file
// is written whole into a temporary file beside it and renamed over it, so it
// is never left half written: either all nine keys are saved or none. Where
// the folder accepts no new file but the file itself may be written, the file
// is rewritten in place instead and flushed to the disk. The text goes back
// in the encoding the file had (see IniFile.h).
//
// Throws std::runtime_error("Unable to write to " + path) when the file system
// refuses the write (missing directory, no permission, disk full, an existing
// file that cannot be read and would be lost).
void saveConfig(const std::string& path, const base::Settings& settings);

} // namespace quelvor::app
