// Tracking upload ("6003"): a GPS point, always appended under a new key.
#include "protocol/MontaSql.h"
#include "protocol/TConexao.h"

namespace quelvor::protocol {

void TConexao::gravaRastreamento(Request& r)
{
    log("Gravar rastreamento: " + r.texto);

    // Every field is read before the statement runs, so a short line writes
    // nothing. The key is drawn inside the insert, so point and key go together.
    MontaSql m("INSERT INTO RASTREAMENTO(RAS_ID, RAS_LATITUDE, RAS_LONGITUDE, "
               "RAS_DATAHORA,RAS_DATAHORARECEBIMENTO,RAS_DISPOSITIVO,RAS_CARGAABERTA,RAS_VELOCIDADE,"
               "RAS_DISTANCIA,RAS_PRECISAO)"
               "VALUES(GEN_ID(GEN_RASTREAMENTO,1) ,");
    m.bare(r.campo(5)).mais(", ");
    m.bare(r.campo(6)).mais(" , ");
    m.texto(r.campo(7)).mais(" , CURRENT_TIMESTAMP ,");
    m.texto(r.campo(1)).mais(", ");
    m.bare(r.campo(8)).mais(",");
    m.bare(r.campo(9)).mais(",");
    m.bare(r.campo(10)).mais(",");
    m.texto(r.campo(11)).mais(");");

    if (!ExecutaQuery(m.sql(), r.query, BDColeta)) {
        informaEnvio(r, "6003", false);
        return;
    }
    log("enviando retorno rastreamento");
    enviaRetorno(std::string("7003") + STX + "S" + STX + r.campo(4) + STX, r.conexao);
    informaEnvio(r, "6003", true);
}

} // namespace quelvor::protocol
