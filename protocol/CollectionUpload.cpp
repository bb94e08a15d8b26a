// Collection upload ("6002"): one stop at a producer, inserted or replaced.
#include "base/Numbers.h"
#include "base/QualityAlerts.h"
#include "db/QueryHelpers.h"
#include "protocol/MontaSql.h"
#include "protocol/TConexao.h"

#include <algorithm>

namespace quelvor::protocol {

void TConexao::gravaColeta(Request& r)
{
    log("Gravar coleta: " + r.texto);

    // Every field is read before the statement runs, so a short line writes nothing.
    MontaSql m("UPDATE OR INSERT INTO COLETAS (CAR_CODIGO, COL_SEQU, COL_PRODUTOR, "
               "COL_LATITUDE,COL_LONGITUDE,COL_DATAHORA,COL_QTDE,COL_EXPORTADO,CAR_IDORIGINAL,COL_USUARIO,"
               "COL_IDORIGINAL,COL_CANCELADA, COL_DATAHORATRANSMISSAO,"
               "PRO_LATITUDE, PRO_LONGITUDE,COL_TANQUE, COL_TESTEACIDEZ,COL_TEMPERATURA,COL_NROAMOSTRA, "
               "COL_COLETOU, COL_MOTIVONAOCOLETA,COL_AMOSTRA,COL_RESULTADOALIZAROL)"
               "VALUES(");
    m.bare(r.campo(4)).mais(", ");
    m.bare(r.campo(7)).mais(" , ");
    m.bare(r.campo(8)).mais(" , ");
    m.bare(r.campo(9)).mais(" , ");
    m.bare(r.campo(10)).mais(" , ");
    m.texto(r.campo(11)).mais(" ,");
    m.bare(r.campo(12)).mais(" , ");
    m.mais("'N'").mais(" , ");
    m.bare(r.campo(6)).mais(",");
    m.texto(r.campo(14)).mais(",");
    m.bare(r.campo(5)).mais(",");
    m.texto(r.campo(15)).mais(", CURRENT_TIMESTAMP ,");
    m.bare(r.campo(16)).mais(" , ");
    m.bare(r.campo(17)).mais(" , ");
    m.bare(r.campo(18)).mais(" , ");
    m.texto(r.campo(19)).mais(" , ");
    m.bare(r.campo(20)).mais(",");
    m.bare(r.campo(21)).mais(",");
    m.bare(r.campo(22)).mais(",");
    m.bare(r.campo(23)).mais(" , ");
    // The sample text is the one field whose apostrophes are dropped on the
    // way in; every other text field keeps them.
    std::string amostra = r.campo(24);
    amostra.erase(std::remove(amostra.begin(), amostra.end(), '\''), amostra.end());
    m.texto(amostra).mais(" , ");
    m.bare(r.campo(25)).mais(");");

    if (!ExecutaQuery(m.sql(), r.query, BDColeta)) {
        informaEnvio(r, "6002", false);
        return;
    }
    log("enviando retorno coleta");
    enviaRetorno(std::string("7002") + STX + "S" + STX + r.campo(5) + STX, r.conexao);
    informaEnvio(r, "6002", true);
    alertasDeQualidade(r);
}

// After the acknowledgement, so that an alert can never hold back or change
// what is stored and answered. The load's route costs a lookup of its own,
// made only when there is an alert to tell.
void TConexao::alertasDeQualidade(const Request& r)
{
    if (!m_limitesDeQualidade || !base::haLimitesDeQualidade(*m_limitesDeQualidade))
        return;
    const auto alertas = base::alertasDaColeta(*m_limitesDeQualidade, r.campo(19), r.campo(20), r.campo(25));
    if (alertas.empty())
        return;
    const std::string& carga = r.campo(4);
    const std::string& produtor = r.campo(8);
    const std::string rota =
        db::trimSql(PTAB("CARGAS", "CAR_ROTA", db::Sql("CAR_CODIGO = ?", {db::bare(carga)}), BDColeta));
    for (const base::AlertaEncontrado& a : alertas) {
        std::string linha = "ALERTA DE QUALIDADE: " + std::string(a.tipo) + " " + a.valor;
        if (a.tipo == base::kAlertaTemperatura)
            linha += " acima de " + base::shortestReal(*m_limitesDeQualidade->temperaturaMaxima);
        else
            linha += a.tipo == base::kAlertaAcidez ? " reprovada" : " reprovado";
        linha += " na carga " + carga + ", produtor " + produtor;
        if (!rota.empty())
            linha += ", rota " + rota;
        log(linha);
        if (m_status) {
            base::AlertaDeQualidade alerta;
            alerta.quando = base::WallClock::now();
            alerta.tipo = std::string(a.tipo);
            alerta.carga = carga;
            alerta.produtor = produtor;
            alerta.rota = rota;
            alerta.valor = a.valor;
            alerta.dispositivo = r.campos[1];
            m_status->alerta(std::move(alerta));
        }
    }
}

} // namespace quelvor::protocol
