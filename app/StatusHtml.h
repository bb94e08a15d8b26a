#pragma once
// The status page as one HTML document: the service's state in words, the
// two databases, the connected handhelds, the handhelds waiting for release,
// the last synchronisations, today's collections per route, the quality
// alerts and the recent errors. Plain functions of what they are given; any
// thread. Everything that came from a handheld, the ERP or a database is
// escaped. The page carries no script, only inline CSS, and reloads itself.

#include "base/StatusModel.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quelvor::app {

struct DispositivoAguardando
{
    std::string id;            // DIS_ID
    std::string ultimaConexao; // DIS_DATAHORACONEXAO as the operator reads it; empty when never
    std::string versao;        // DIS_VERSAOAPK
};

struct ColetasDaRota
{
    std::string rota;      // CAR_ROTA; empty when the load names none
    std::string descricao; // ROT_DESCRICAO, when the route is known
    std::uint64_t coletas = 0;
    std::string litros; // the sum of COL_QTDE, as the operator reads it
};

// What the page reads itself from the collection database.
struct LeituraDaBase
{
    bool tentada = false;   // a read was made (the service runs and a database is set)
    bool respondeu = false; // and it answered
    std::string erro;       // why it did not
    std::string dia;        // the day of coletasDeHoje, dd/mm/yyyy
    std::vector<DispositivoAguardando> aguardando;
    std::vector<ColetasDaRota> coletasDeHoje;
    std::string litrosDeHoje; // the sum over the routes, as the operator reads it
};

// "Em execução — N dispositivos", "Parado" or "Base de dados indisponível":
// the page's own read of the collection database decides when it was made,
// the model's last word otherwise.
std::string estadoEmPalavras(const base::StatusSnapshot& estado, const LeituraDaBase& leitura);

// Text made safe for HTML content and attribute values.
std::string escapaHtml(std::string_view texto);

// A moment as the operator reads it (local time, dd/mm/yyyy hh:mm:ss); "—"
// for the epoch, which the model uses for "never".
std::string momento(base::WallClock::time_point quando);

std::string paginaDeStatus(const base::StatusSnapshot& estado, const LeituraDaBase& leitura,
                           base::WallClock::time_point agora);

} // namespace quelvor::app
