// Key allocation ("4001"): the next load key from a generator, with the
// handheld's reference echoed.
#include "protocol/TConexao.h"

namespace quelvor::protocol {

void TConexao::solicitaGenerator(Request& r)
{
    log("Solicitando generator: " + r.texto);

    // With an ERP database configured the keys follow the ERP's numbering,
    // whether or not the integration switch is on.
    const bool erp = !BDTarvell.params().database.empty();
    db::Attachment& conexao = erp ? BDTarvell : BDColeta;
    const char* statement = erp ? "SELECT GEN_ID(DESCARGAS_DES_CODIGO_GEN,1) FROM RDB$DATABASE"
                                : "SELECT GEN_ID(GEN_CARGAS,1) FROM RDB$DATABASE";

    WorkingQuery& q = r.query;
    if (!ExecutaQuery(statement, q, conexao))
        return;

    std::string valor;
    if (!q.rows.empty() && !q.rows.columns.empty())
        valor = db::asText(q.rows.rows[0][0], q.rows.columns[0]);
    // Field 4 is read only now: a line without it has already used up a key.
    enviaRetorno(std::string("5001") + STX + valor + STX + r.campo(4) + STX, r.conexao);
}

} // namespace quelvor::protocol
