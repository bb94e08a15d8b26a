// Catalogue download ("1001" to "1005"): a header with the row count, one line
// per row, whole tables or only the rows changed after a sequence number.
#include "protocol/TConexao.h"

#include "base/OperatorLog.h"
#include "base/OperatorMessages.h"
#include "protocol/RowEncoding.h"

#include <stdexcept>

namespace quelvor::protocol {

void TConexao::catalogo(Request& r, const std::string& baseStatement, const std::string& tabela)
{
    // Field 4, the highest change number the handheld holds, is taken only
    // when the line has more than five fields: a field 4 followed by the
    // trailing separator, or more.
    // The number compares as the handheld wrote it: bound bare against the
    // INTEGER column it would be converted to a whole number first (2.5 would
    // read as 3) and a number beyond 32 bits would fail, so it goes in as a
    // double, as the literal would compare.
    std::string texto = baseStatement;
    std::string mostrado = baseStatement;
    std::vector<db::SqlParam> valores;
    if (r.ultimo() > 4) {
        texto += " WHERE SEQUENCIALALTERACAO > CAST(? AS DOUBLE PRECISION)";
        mostrado += " WHERE SEQUENCIALALTERACAO > ?";
        valores.push_back(db::bare(r.campo(4)));
    }
    texto += " ORDER BY SEQUENCIALALTERACAO";
    mostrado += " ORDER BY SEQUENCIALALTERACAO";

    // Every row is fetched before the header goes out, so its count is exact.
    WorkingQuery& q = r.query;
    db::Sql comando(texto, std::move(valores));
    comando.shownAs(mostrado);
    const bool executou = ExecutaQuery(comando, q, BDColeta);
    enviaRetorno("2" + tabela + STX + std::to_string(executou ? q.rows.size() : 0) + STX, r.conexao);
    if (!executou) {
        // The handheld has been told there are no rows; the request goes no
        // further and the connection ends.
        throw std::runtime_error("catalogo " + tabela + ": a consulta falhou");
    }

    NaoTratados naoTratados([this](const std::string& linha) { log(linha); });
    auto avisaOperador = [&naoTratados] {
        for (const std::string& aviso : naoTratados.avisos())
            base::postOperatorMessage(aviso);
    };
    // The rows' log lines go to the log in batches: one wake-up of the main
    // thread per batch, not one per row.
    std::vector<std::string> paraOLog;
    auto registraNoLog = [&paraOLog] {
        base::OperatorLog::instance().appendAll(paraOLog);
        paraOLog.clear();
    };
    try {
        const db::ResultSet& rs = q.rows;
        // The users' passwords go to the handheld, never to the log (the
        // window, and the journal of a headless server).
        const int senha = tabela == "003" ? rs.indexOf("USU_SENHA") : -1;
        for (const std::vector<db::Value>& row : rs.rows) {
            std::string linha = "3" + tabela + STX;
            std::string noLog = "Devolvendo:" + linha;
            for (size_t i = 0; i < rs.columns.size(); ++i) {
                const ValorCodificado v = codificaValor(row[i], rs.columns[i]);
                if (!v.tratado) {
                    registraNoLog(); // its own lines stay in their place
                    naoTratados.registra(row[i], rs.columns[i]);
                }
                linha += v.texto + STX;
                noLog += (static_cast<int>(i) == senha ? std::string("***") : v.texto) + STX;
            }
            paraOLog.push_back(std::move(noLog));
            if (paraOLog.size() >= 256)
                registraNoLog();
            r.conexao.writeLine(linha);
        }
    } catch (...) {
        // The device went away half way: the operator still hears of what was met.
        registraNoLog();
        avisaOperador();
        throw;
    }
    registraNoLog();
    avisaOperador();
}

} // namespace quelvor::protocol
