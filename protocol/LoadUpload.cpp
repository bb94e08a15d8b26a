// Load upload ("6001"): one trip of a truck, inserted or replaced by its code.
#include "protocol/MontaSql.h"
#include "protocol/TConexao.h"

#include <algorithm>

namespace quelvor::protocol {
namespace {

// A load under way has no end time yet: the handheld leaves field 7 empty or
// sends only blanks or control characters there.
bool semHorario(const std::string& campo)
{
    return std::all_of(campo.begin(), campo.end(),
                       [](char c) { return static_cast<unsigned char>(c) <= 0x20; });
}

} // namespace

void TConexao::gravaCarga(Request& r)
{
    log("Gravar carga " + r.texto);

    // Every field is read before the statement runs, so a short line writes nothing.
    const std::string& fim = r.campo(7);
    MontaSql m("UPDATE OR INSERT INTO CARGAS (CAR_CODIGO, CAR_DATA, CAR_DATAHORAINICIO, CAR_DATAHORAFIM, "
               "CAR_TOTALCARGA, CAR_ID_APARELHO, CAR_IDORIGINAL,CAR_FINALIZADO, CAR_TRANSMITIDO, CAR_USUARIO,"
               " CAR_ROTA, CAR_NUMEROCOLETAS, CAR_DATAHORATRANSMISSAO, CAR_KMINICIAL, CAR_KMFINAL, "
               "CAR_DISTANCIAPERCORRIDA)VALUES(");
    m.bare(r.campo(10)).mais(",");
    m.texto(r.campo(5)).mais(" , ");
    m.texto(r.campo(6)).mais(" , ");
    if (semHorario(fim))
        m.nulo();
    else
        m.texto(fim);
    m.mais(" ,");
    m.bare(r.campo(8)).mais(" , ");
    m.texto(r.campo(9)).mais(" , ");
    m.bare(r.campo(4)).mais(" , ");
    m.texto(r.campo(11)).mais(" , ");
    m.mais("'N'").mais(", ");
    m.texto(r.campo(13)).mais(" ,");
    m.bare(r.campo(15)).mais(",");
    m.bare(r.campo(14)).mais(", CURRENT_TIMESTAMP , ");
    m.bare(r.campo(16)).mais(",");
    m.bare(r.campo(17)).mais(" , ");
    m.bare(r.campo(18)).mais(");");

    if (!ExecutaQuery(m.sql(), r.query, BDColeta)) {
        informaEnvio(r, "6001", false);
        return;
    }
    log("enviando retorno");
    enviaRetorno(std::string("7001") + STX + "S" + STX + r.campo(4) + STX + r.campo(11) + STX, r.conexao);
    informaEnvio(r, "6001", true);
}

} // namespace quelvor::protocol
