#include "app/StatusReads.h"

#include "db/DbError.h"

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

LeituraDaBase leStatusDaBase(const db::ConnectionParams& params, const std::string& dia)
{
    LeituraDaBase leitura;
    leitura.tentada = true;
    leitura.dia = diaDoOperador(dia);
    try {
        db::Attachment conexao(params);
        const db::ResultSet aguardando = conexao.select(db::Sql(
            "SELECT DIS_ID, DIS_DATAHORACONEXAO, DIS_VERSAOAPK FROM DISPOSITIVOS WHERE DIS_LIBERADO = ? "
            "ORDER BY DIS_DATAHORACONEXAO DESC NULLS LAST, DIS_ID",
            {db::text("N")}));
        for (const auto& row : aguardando.rows)
            leitura.aguardando.push_back({semBrancosAoFim(texto(aguardando, row, 0)),
                                          texto(aguardando, row, 1),
                                          semBrancosAoFim(texto(aguardando, row, 2))});

        const db::ResultSet rotas = conexao.select(db::Sql(
            "SELECT C.CAR_ROTA, MAX(R.ROT_DESCRICAO) AS DESCRICAO, COUNT(*) AS COLETAS, "
            "COALESCE(SUM(L.COL_QTDE), 0) AS LITROS "
            "FROM COLETAS L LEFT JOIN CARGAS C ON C.CAR_CODIGO = L.CAR_CODIGO "
            "LEFT JOIN ROTAS R ON R.ROT_CODIGO = C.CAR_ROTA "
            "WHERE L.COL_DATAHORA >= CAST(? AS DATE) AND L.COL_DATAHORA < DATEADD(DAY, 1, CAST(? AS DATE)) "
            "GROUP BY C.CAR_ROTA ORDER BY C.CAR_ROTA NULLS LAST",
            {db::text(dia), db::text(dia)}));
        for (const auto& row : rotas.rows) {
            ColetasDaRota r;
            r.rota = texto(rotas, row, 0);
            r.descricao = semBrancosAoFim(texto(rotas, row, 1));
            const db::Value& n = row[2];
            if (const auto* v = std::get_if<std::int64_t>(&n.data))
                r.coletas = static_cast<std::uint64_t>(*v);
            r.litros = texto(rotas, row, 3);
            leitura.coletasDeHoje.push_back(std::move(r));
        }
        conexao.close();
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
