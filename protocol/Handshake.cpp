// Session opening, handshake ("1000") and the release of a handheld.
#include "protocol/TConexao.h"

#include "base/Numbers.h"
#include "base/RegionalFormat.h"

namespace quelvor::protocol {
namespace {

std::string valor(const db::ResultSet& rs, const std::string& coluna)
{
    const int i = rs.indexOf(coluna);
    if (i < 0 || rs.rows.empty())
        return {};
    return db::asText(rs.rows[0][static_cast<size_t>(i)], rs.columns[static_cast<size_t>(i)]);
}

// Today as mm/dd/yyyy with the date separator.
std::string dataDeHoje()
{
    const base::Date d = base::localNow().date;
    return base::zeroPadded(d.month, 2) + base::kDateSeparator + base::zeroPadded(d.day, 2) +
           base::kDateSeparator + base::zeroPadded(d.year, 4);
}

} // namespace

void TConexao::aberturaDeSessao(Request& r)
{
    log("Gravar no log, que é a primeira");
    WorkingQuery& q = r.query;
    ExecutaQuery(db::Sql("UPDATE SESSOESATIVAS SET LIBERADO = 'N' WHERE SES_ID = ?", {db::bare(r.idconexao)}),
                 q, BDColeta);

    // Fields 1 to 3 come with every first request, whatever its type.
    const std::string& dispositivo = r.campo(1);
    const std::string& latitude = r.campo(2);
    const std::string& longitude = r.campo(3);
    ExecutaQuery(
        db::Sql("INSERT INTO LOG_CONEXAO (LOG_ID, LOG_DISPOSITIVO, DATAHORA, LOG_LATITUDE, "
                "LOG_LONGITUDE,LOG_IP)VALUES(GEN_ID(GEN_LOG,1),?,CURRENT_TIMESTAMP,?,?,?);",
                {db::text(dispositivo), db::text(latitude), db::bare(longitude), db::text(r.enderecoIP)}),
        q, BDColeta);

    if (r.campos[0] != "1000")
        return;
    handshake(r);
}

void TConexao::handshake(Request& r)
{
    WorkingQuery& q = r.query;
    const db::Sql porSessao("SES_ID = ?", {db::bare(r.idconexao)});
    ExecutaQuery("SELECT PAR_EMPRESA,PAR_VERSAOAPK FROM PARAMETROS WHERE PAR_ID = 1", q, BDColeta);
    log("Tamanho do resultado: " + std::to_string(q.rows.size()));

    std::string versaoEsperada;
    std::string versaoInformada;
    if (!q.rows.empty()) {
        versaoEsperada = valor(q.rows, "PAR_VERSAOAPK");
        const std::string empresa = valor(q.rows, "PAR_EMPRESA");
        if (empresa == r.campo(4)) {
            ExecutaQuery(
                db::Sql("UPDATE SESSOESATIVAS SET EMPRESACERTA = 'S', LIBERADO = 'S' WHERE SES_ID = ?",
                        {db::bare(r.idconexao)}),
                q, BDColeta);
            log("é a empresa certa");
        }
        // The version is read only when the line has at least seven fields,
        // as a six-field line with a trailing separator does.
        if (r.ultimo() >= 6) {
            versaoInformada = r.campo(5);
            if (versaoInformada == versaoEsperada) {
                ExecutaQuery(db::Sql("UPDATE SESSOESATIVAS SET VERSAOCORRETA = 'S' WHERE SES_ID = ?",
                                     {db::bare(r.idconexao)}),
                             q, BDColeta);
            } else {
                log("Cliente com versão incorreta.");
                ExecutaQuery(db::Sql("UPDATE SESSOESATIVAS SET VERSAOCORRETA = 'N' WHERE SES_ID = ?",
                                     {db::bare(r.idconexao)}),
                             q, BDColeta);
            }
        }
    }

    if (m_status)
        m_status->identificou(r.idconexao, r.campo(1), versaoInformada);

    if (liberado(r) != "S") {
        log("Dispositivo direcionado para empresa errada");
        return;
    }

    const std::string& dispositivo = r.campo(1);
    ExecutaQuery(db::Sql("SELECT DIS_ROTAS, DIS_LIBERADO,COALESCE(DIS_NROTANQUES,0) AS DIS_NROTANQUES, "
                         "DIS_VALIDAMEDIA, DIS_PERCENTUALDIFERENCA,COALESCE(DIS_IGNORAROTA,'N') AS "
                         "DIS_IGNORAROTA, DIS_ROTAS FROM DISPOSITIVOS WHERE DIS_ID = ?;",
                         {db::text(dispositivo)}),
                 q, BDColeta);
    const db::ResultSet registro = q.rows;

    if (!registro.empty() && valor(registro, "DIS_LIBERADO") == "S") {
        std::string linha = "2000";
        for (const std::string& v :
             {valor(registro, "DIS_NROTANQUES"), valor(registro, "DIS_VALIDAMEDIA"),
              valor(registro, "DIS_PERCENTUALDIFERENCA"), valor(registro, "DIS_IGNORAROTA"), versaoEsperada,
              valor(registro, "DIS_ROTAS"), dataDeHoje()})
            linha += STX + v;
        linha += STX;
        enviaRetorno(linha, r.conexao);
        ExecutaQuery(
            db::Sql("UPDATE SESSOESATIVAS SET LIBERADO = 'S' WHERE SES_ID = ?", {db::bare(r.idconexao)}), q,
            BDColeta);
        ExecutaQuery(db::Sql("UPDATE OR INSERT INTO DISPOSITIVOS (DIS_ID, DIS_DATAHORACONEXAO,DIS_VERSAOAPK)"
                             "VALUES(?,CURRENT_TIMESTAMP,?)",
                             {db::text(dispositivo), db::text(versaoInformada)}),
                     q, BDColeta);
    } else {
        ExecutaQuery(
            db::Sql("UPDATE SESSOESATIVAS SET LIBERADO = 'N' WHERE SES_ID = ?", {db::bare(r.idconexao)}), q,
            BDColeta);
        ExecutaQuery(db::Sql("UPDATE OR INSERT INTO DISPOSITIVOS (DIS_ID, DIS_DATAHORACONEXAO, DIS_LIBERADO, "
                             "DIS_ROTAS,DIS_VERSAOAPK)VALUES(?,CURRENT_TIMESTAMP,'N','',?)",
                             {db::text(dispositivo), db::text(versaoInformada)}),
                     q, BDColeta);
    }
}

} // namespace quelvor::protocol
