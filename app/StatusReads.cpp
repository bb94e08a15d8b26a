#include "app/StatusReads.h"

#include "app/DeviceRegistry.h"
#include "base/RegionalFormat.h"
#include "db/Attachment.h"
#include "db/DbError.h"
#include "db/QueryHelpers.h"

#include <exception>

namespace quelvor::app {
namespace {

// The day in the operator's form, dd/mm/yyyy, from yyyy-mm-dd.
std::string diaDoOperador(const std::string& dia)
{
    if (dia.size() != 10)
        return dia;
    return dia.substr(8, 2) + "/" + dia.substr(5, 2) + "/" + dia.substr(0, 4);
}

std::string texto(const db::ResultSet& rs, const std::vector<db::Value>& row, int coluna)
{
    if (coluna < 0 || row[static_cast<size_t>(coluna)].isNull())
        return {};
    return db::asText(row[static_cast<size_t>(coluna)], rs.columns[static_cast<size_t>(coluna)]);
}

std::string semBrancosAoFim(std::string s)
{
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

} // namespace

LeituraDaBase leStatusDaBase(const base::Settings& settings, const std::string& dia)
{
    base::Settings curto = settings;
    if (curto.tempoEsperaBloqueio <= 0 || curto.tempoEsperaBloqueio > 2)
        curto.tempoEsperaBloqueio = 2;
    LeituraDaBase leitura;
    leitura.tentada = true;
    leitura.dia = diaDoOperador(dia);
    try {
        for (const DispositivoRegistrado& d : DeviceRegistry(curto).aguardandoLiberacao())
            leitura.aguardando.push_back(
                {d.id, d.ultimaConexao ? base::fullDateTime(*d.ultimaConexao) : std::string(), d.versao});

        db::Attachment conexao(db::parametrosDaBase(curto, false));
        const db::ResultSet rotas = conexao.select(db::Sql(
            "SELECT C.CAR_ROTA, MAX(R.ROT_DESCRICAO) AS DESCRICAO, COUNT(*) AS COLETAS, "
            "COALESCE(SUM(L.COL_QTDE), 0) AS LITROS "
            "FROM COLETAS L LEFT JOIN CARGAS C ON C.CAR_CODIGO = L.CAR_CODIGO "
            "LEFT JOIN ROTAS R ON R.ROT_CODIGO = C.CAR_ROTA "
            "WHERE L.COL_DATAHORA >= CAST(? AS DATE) AND L.COL_DATAHORA < DATEADD(DAY, 1, CAST(? AS DATE)) "
            "GROUP BY C.CAR_ROTA ORDER BY C.CAR_ROTA NULLS LAST",
            {db::text(dia), db::text(dia)}));
        std::int64_t litros = 0; // scaled, as the column's sum comes
        int escala = 0;
        for (const auto& row : rotas.rows) {
            ColetasDaRota r;
            r.rota = texto(rotas, row, 0);
            r.descricao = semBrancosAoFim(texto(rotas, row, 1));
            const db::Value& n = row[2];
            if (const auto* v = std::get_if<std::int64_t>(&n.data))
                r.coletas = static_cast<std::uint64_t>(*v);
            r.litros = texto(rotas, row, 3);
            if (const auto* v = std::get_if<std::int64_t>(&row[3].data)) {
                litros += *v;
                escala = rotas.columns[3].scale;
            }
            leitura.coletasDeHoje.push_back(std::move(r));
        }
        conexao.close();
        leitura.litrosDeHoje = base::generalScaled(litros, escala, base::kDecimalSeparator);
        leitura.respondeu = true;
    } catch (const std::exception& e) {
        leitura.respondeu = false;
        leitura.erro = e.what();
        leitura.aguardando.clear();
        leitura.coletasDeHoje.clear();
    }
    return leitura;
}

} // namespace quelvor::app
