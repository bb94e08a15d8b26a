// The request handler over a whole session of request lines, with a stand-in
// statement runner that records every statement and answers it as a
// collection database would (the session row, the parameters row, the
// device's row, catalogue rows, generator values), failing the statements
// the input picks. Beyond "it did not crash":
// - nothing from the handheld is spliced: every statement's text is one of the
//   texts the handlers write, with a '?' for each value, and each value is
//   bound from the field (or the session key, the address) that belongs there,
//   with its kind;
// - every reply line is UTF-8 that Windows-1252 can carry, holds no CR or LF
//   of its own (only inside a request field it echoes), is a known reply
//   ending with the separator, and a catalogue header counts the rows sent;
// - a request ends with the end line unless it was refused or abandoned, and
//   only a missing field, a failed permission lookup or catalogue, or a reply
//   that could not be written abandons it;
// - the users' passwords never reach the operator log.
//
// Input: 12 steering bytes, then the session's lines (LF-separated, a CR
// before the LF dropped, empty lines skipped, each read as Windows-1252 as
// the connection reads it).
// - byte 0, flags: 1 an ERP path is set; 2 the session row starts released;
//   4 the device's row is not released; 8 no parameters row; 16 quality
//   limits are set; 32 a status model listens; 64 the handheld goes away
//   after some reply lines; 128 catalogue values are awkward (nulls,
//   quotes, line breaks, accents);
// - byte 1: catalogue rows (modulo 24);
// - byte 2: reply lines written before the handheld goes away;
// - bytes 3 to 10: statement n of the session (n < 64) fails when bit n is set;
// - byte 11: seeds the choice of the awkward values and of a load's route.

#include "base/OperatorLog.h"
#include "base/OperatorMessages.h"
#include "base/Settings.h"
#include "base/StatusModel.h"
#include "base/TextConversion.h"
#include "db/QueryHelpers.h"
#include "db/StatementRunner.h"
#include "protocol/ReplyChannel.h"
#include "protocol/TConexao.h"
#include "tests/fuzz/FuzzSupport.h"

#include <ibase.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

using namespace quelvor;
using db::SqlParam;

namespace {

const std::string kStx(1, protocol::STX);
const std::string kSessao = "77";
const std::string kIp = "10.0.0.9";
const std::string kColeta = "localhost:/srv/COLETA.FDB";
const std::string kTarvell = "localhost:/srv/TARVELL.FDB";
const std::string kSenha = "Segredo-do-usuario";

// Where a bound value comes from: a field of the request, or one of these.
enum Fonte : int
{
    kDaSessao = -1,   // the session key, bare
    kDoIp = -2,       // the handheld's address, text
    kFimDaCarga = -3, // field 7 as text, or null when it holds only blanks
    kAmostra = -4,    // field 24 without its apostrophes, text
    kVersao = -5,     // field 5 when the line has seven fields or more, else empty; text
    kDesde = -6,      // field 4, bare
};

struct Valor
{
    int fonte;
    SqlParam::Kind tipo = SqlParam::Kind::Text;
};

Valor t(int f)
{
    return {f, SqlParam::Kind::Text};
}
Valor b(int f)
{
    return {f, SqlParam::Kind::Bare};
}

enum class Resposta
{
    Nada,
    Parametros,
    Dispositivo,
    Catalogo,
    Gerador,
    Libera,
    Bloqueia,
};

struct Comando
{
    std::string texto;
    std::vector<Valor> valores;
    Resposta resposta = Resposta::Nada;
    std::vector<std::string> colunas = {}; // a catalogue's
};

std::vector<std::string> colunasDe(const std::string& select)
{
    // "SELECT A, B, C FROM ..." gives A, B, C.
    std::vector<std::string> out;
    const size_t from = 7, to = select.find(" FROM ");
    for (std::string c : protocol::TConexao::Split(select.substr(from, to - from), ",")) {
        c.erase(0, c.find_first_not_of(' '));
        out.push_back(c);
    }
    return out;
}

// Every statement the handlers run, as they write it.
std::map<std::string, Comando> comandosConhecidos()
{
    std::vector<Comando> lista = {
        {"UPDATE SESSOESATIVAS SET LIBERADO = 'N' WHERE SES_ID = ?", {b(kDaSessao)}, Resposta::Bloqueia},
        {"INSERT INTO LOG_CONEXAO (LOG_ID, LOG_DISPOSITIVO, DATAHORA, LOG_LATITUDE, "
         "LOG_LONGITUDE,LOG_IP)VALUES(GEN_ID(GEN_LOG,1),?,CURRENT_TIMESTAMP,?,?,?);",
         {t(1), t(2), b(3), t(kDoIp)}},
        {"SELECT PAR_EMPRESA,PAR_VERSAOAPK FROM PARAMETROS WHERE PAR_ID = 1", {}, Resposta::Parametros},
        {"UPDATE SESSOESATIVAS SET EMPRESACERTA = 'S', LIBERADO = 'S' WHERE SES_ID = ?",
         {b(kDaSessao)},
         Resposta::Libera},
        {"UPDATE SESSOESATIVAS SET VERSAOCORRETA = 'S' WHERE SES_ID = ?", {b(kDaSessao)}},
        {"UPDATE SESSOESATIVAS SET VERSAOCORRETA = 'N' WHERE SES_ID = ?", {b(kDaSessao)}},
        {"SELECT DIS_ROTAS, DIS_LIBERADO,COALESCE(DIS_NROTANQUES,0) AS DIS_NROTANQUES, "
         "DIS_VALIDAMEDIA, DIS_PERCENTUALDIFERENCA,COALESCE(DIS_IGNORAROTA,'N') AS "
         "DIS_IGNORAROTA, DIS_ROTAS FROM DISPOSITIVOS WHERE DIS_ID = ?;",
         {t(1)},
         Resposta::Dispositivo},
        {"UPDATE SESSOESATIVAS SET LIBERADO = 'S' WHERE SES_ID = ?", {b(kDaSessao)}, Resposta::Libera},
        {"UPDATE OR INSERT INTO DISPOSITIVOS (DIS_ID, DIS_DATAHORACONEXAO,DIS_VERSAOAPK)"
         "VALUES(?,CURRENT_TIMESTAMP,?)",
         {t(1), t(kVersao)}},
        {"UPDATE OR INSERT INTO DISPOSITIVOS (DIS_ID, DIS_DATAHORACONEXAO, DIS_LIBERADO, "
         "DIS_ROTAS,DIS_VERSAOAPK)VALUES(?,CURRENT_TIMESTAMP,'N','',?)",
         {t(1), t(kVersao)}},
        {"SELECT GEN_ID(DESCARGAS_DES_CODIGO_GEN,1) FROM RDB$DATABASE", {}, Resposta::Gerador},
        {"SELECT GEN_ID(GEN_CARGAS,1) FROM RDB$DATABASE", {}, Resposta::Gerador},
        {"UPDATE OR INSERT INTO CARGAS (CAR_CODIGO, CAR_DATA, CAR_DATAHORAINICIO, CAR_DATAHORAFIM, "
         "CAR_TOTALCARGA, CAR_ID_APARELHO, CAR_IDORIGINAL,CAR_FINALIZADO, CAR_TRANSMITIDO, CAR_USUARIO,"
         " CAR_ROTA, CAR_NUMEROCOLETAS, CAR_DATAHORATRANSMISSAO, CAR_KMINICIAL, CAR_KMFINAL, "
         "CAR_DISTANCIAPERCORRIDA)VALUES(?,? , ? , ? ,? , ? , ? , ? , 'N', ? ,?,?, CURRENT_TIMESTAMP , ?,? , "
         "?);",
         {b(10), t(5), t(6), t(kFimDaCarga), b(8), t(9), b(4), t(11), t(13), b(15), b(14), b(16), b(17),
          b(18)}},
        {"UPDATE OR INSERT INTO COLETAS (CAR_CODIGO, COL_SEQU, COL_PRODUTOR, "
         "COL_LATITUDE,COL_LONGITUDE,COL_DATAHORA,COL_QTDE,COL_EXPORTADO,CAR_IDORIGINAL,COL_USUARIO,"
         "COL_IDORIGINAL,COL_CANCELADA, COL_DATAHORATRANSMISSAO,"
         "PRO_LATITUDE, PRO_LONGITUDE,COL_TANQUE, COL_TESTEACIDEZ,COL_TEMPERATURA,COL_NROAMOSTRA, "
         "COL_COLETOU, COL_MOTIVONAOCOLETA,COL_AMOSTRA,COL_RESULTADOALIZAROL)"
         "VALUES(?, ? , ? , ? , ? , ? ,? , 'N' , ?,?,?,?, CURRENT_TIMESTAMP ,? , ? , ? , ? , ?,?,?,? , ? , "
         "?);",
         {b(4),  b(7),  b(8),  b(9),  b(10), t(11), b(12), b(6),  t(14),       b(5), t(15),
          b(16), b(17), b(18), t(19), b(20), b(21), b(22), b(23), t(kAmostra), b(25)}},
        {"INSERT INTO RASTREAMENTO(RAS_ID, RAS_LATITUDE, RAS_LONGITUDE, "
         "RAS_DATAHORA,RAS_DATAHORARECEBIMENTO,RAS_DISPOSITIVO,RAS_CARGAABERTA,RAS_VELOCIDADE,"
         "RAS_DISTANCIA,RAS_PRECISAO)"
         "VALUES(GEN_ID(GEN_RASTREAMENTO,1) ,?, ? , ? , CURRENT_TIMESTAMP ,?, ?,?,?,?);",
         {b(5), b(6), t(7), t(1), b(8), b(9), b(10), t(11)}},
    };
    const char* catalogos[] = {
        "SELECT ROT_CODIGO, ROT_DESCRICAO, SEQUENCIALALTERACAO FROM ROTAS ",
        "SELECT PRO_CLIFOR, CLI_RAZAO, PRO_LATITUDE, PRO_LONGITUDE, PRO_ENDERECO, PRO_BAIRRO, PRO_CIDADE, "
        "PRO_MEDIA, PRO_ROTA, PRO_ORDEM, SEQUENCIALALTERACAO, PRO_ATIVO, ID_OUTROSISTEMA FROM PRODUTORES ",
        "SELECT USU_NOME, USU_SENHA, USU_MASTER, SEQUENCIALALTERACAO FROM USUARIOS ",
        "SELECT MOT_ID, MOT_DESCRICAO, SEQUENCIALALTERACAO FROM MOTIVO_NAOCOLETA ",
        "SELECT PAR_CAMPO, PAR_VALOR, SEQUENCIALALTERACAO FROM PARAMETROSESPECIAIS ",
    };
    for (const char* c : catalogos) {
        const std::string base = db::trimSql(c);
        lista.push_back({base + "  ORDER BY SEQUENCIALALTERACAO", {}, Resposta::Catalogo, colunasDe(base)});
        lista.push_back({base + "  WHERE SEQUENCIALALTERACAO > CAST(? AS DOUBLE PRECISION) ORDER BY "
                                "SEQUENCIALALTERACAO",
                         {b(kDesde)},
                         Resposta::Catalogo,
                         colunasDe(base)});
    }
    std::map<std::string, Comando> out;
    for (Comando& c : lista)
        out.emplace(c.texto, std::move(c));
    return out;
}

db::Column coluna(const std::string& nome, unsigned tipo, int escala = 0)
{
    db::Column c;
    c.name = nome;
    c.type = tipo;
    c.scale = escala;
    return c;
}

db::Value valor(db::Value::Data d)
{
    db::Value v;
    v.data = std::move(d);
    return v;
}

// The database side of the session: the session row's release, the
// generators, and which statements fail.
class Executor : public db::StatementRunner
{
public:
    Executor(std::uint8_t flags, unsigned linhasDeCatalogo, std::uint64_t falhas, std::uint8_t sorte)
        : m_flags(flags), m_linhasDeCatalogo(linhasDeCatalogo), m_falhas(falhas), m_sorte(sorte)
    {
        if (flags & 2)
            m_liberado = "S";
    }

    // The request being handled: its fields as the handler splits them.
    std::vector<std::string> campos;
    // Rows of the last catalogue statement, or -1 when it failed.
    long linhasEnviadas = -1;
    // The request read the parameters row (the version is taken only then).
    bool parametrosLidos = false;

    bool executa(db::Attachment& conexao, const db::Sql& statement, db::ResultSet& rows,
                 bool& selected) override
    {
        rows = {};
        selected = false;
        FUZZ_CHECK(conexao.params().database == kColeta || conexao.params().database == kTarvell);
        const db::Sql comando = statement.trimmed();
        const auto conhecido = m_conhecidos.find(comando.text());
        if (conhecido == m_conhecidos.end()) {
            std::fprintf(stderr, "unknown statement: %s\n", comando.text().c_str());
            FUZZ_CHECK(!"a statement the handlers do not write");
        }
        const Comando& c = conhecido->second;
        confere(c.valores, comando.params());
        // Only the ERP's key is drawn from the ERP database.
        const bool doErp = c.texto.find("DESCARGAS_DES_CODIGO_GEN") != std::string::npos;
        FUZZ_CHECK((conexao.params().database == kTarvell) == doErp);
        FUZZ_CHECK(!doErp || (m_flags & 1));
        if (c.resposta == Resposta::Catalogo)
            linhasEnviadas = -1;
        if (falha())
            return false;
        selected = db::isSelectStatement(comando.text());
        FUZZ_CHECK(selected == (c.texto.compare(0, 6, "SELECT") == 0));
        switch (c.resposta) {
        case Resposta::Nada:
            break;
        case Resposta::Libera:
            m_liberado = "S";
            break;
        case Resposta::Bloqueia:
            m_liberado = "N";
            break;
        case Resposta::Parametros:
            if (m_flags & 8)
                break;
            rows.columns = {coluna("PAR_EMPRESA", SQL_VARYING), coluna("PAR_VERSAOAPK", SQL_VARYING)};
            rows.rows = {{valor(std::string("1")), valor(std::string("1.0.0"))}};
            parametrosLidos = true;
            break;
        case Resposta::Dispositivo:
            rows.columns = {coluna("DIS_ROTAS", SQL_VARYING),
                            coluna("DIS_LIBERADO", SQL_TEXT),
                            coluna("DIS_NROTANQUES", SQL_LONG),
                            coluna("DIS_VALIDAMEDIA", SQL_TEXT),
                            coluna("DIS_PERCENTUALDIFERENCA", SQL_LONG, -2),
                            coluna("DIS_IGNORAROTA", SQL_TEXT),
                            coluna("DIS_ROTAS", SQL_VARYING)};
            rows.rows = {{valor(std::string("1,2")), valor(std::string(m_flags & 4 ? "N" : "S")),
                          valor(std::int64_t{2}), valor(std::string("S")), valor(std::int64_t{1550}),
                          valor(std::string("N")), valor(std::string("1,2"))}};
            break;
        case Resposta::Catalogo:
            rows = catalogo(c.colunas);
            linhasEnviadas = static_cast<long>(rows.size());
            break;
        case Resposta::Gerador:
            rows.columns = {coluna("GEN_ID", SQL_INT64)};
            rows.rows = {{valor(std::int64_t{++m_gerador})}};
            break;
        }
        return true;
    }

    std::string PTAB(const std::string& tabela, const std::string& campo, const db::Sql& condicao,
                     db::Attachment& conexao, bool* falhou) override
    {
        if (falhou)
            *falhou = false;
        FUZZ_CHECK(conexao.params().database == kColeta);
        std::string resposta;
        if (tabela == "SESSOESATIVAS") {
            FUZZ_CHECK(campo == "LIBERADO" && condicao.text() == "SES_ID = ?");
            confere({b(kDaSessao)}, condicao.params());
            resposta = m_liberado;
        } else {
            FUZZ_CHECK(tabela == "CARGAS" && campo == "CAR_ROTA" && condicao.text() == "CAR_CODIGO = ?");
            confere({b(4)}, condicao.params());
            resposta = (sorte() & 1) ? "3" : "";
        }
        if (falha()) {
            if (falhou)
                *falhou = true;
            return {};
        }
        return resposta;
    }

private:
    bool falha() { return m_numero < 64 && ((m_falhas >> m_numero++) & 1); }
    std::uint8_t sorte()
    {
        m_sorte = m_sorte * 1103515245u + 12345u;
        return static_cast<std::uint8_t>(m_sorte >> 16);
    }

    const std::string& campo(int i) const
    {
        // A value bound from a field the line lacks: the handler did not read
        // it through its field access.
        FUZZ_CHECK(i >= 0 && static_cast<size_t>(i) < campos.size());
        return campos[static_cast<size_t>(i)];
    }

    void confere(const std::vector<Valor>& esperados, const std::vector<SqlParam>& valores) const
    {
        FUZZ_CHECK(esperados.size() == valores.size());
        for (size_t i = 0; i < esperados.size(); ++i) {
            const Valor& e = esperados[i];
            const SqlParam& v = valores[i];
            SqlParam::Kind tipo = e.tipo;
            std::string esperado;
            switch (e.fonte) {
            case kDaSessao:
                esperado = kSessao;
                break;
            case kDoIp:
                esperado = kIp;
                break;
            case kFimDaCarga: {
                const std::string& fim = campo(7);
                const bool vazio = std::all_of(
                    fim.begin(), fim.end(), [](char ch) { return static_cast<unsigned char>(ch) <= 0x20; });
                tipo = vazio ? SqlParam::Kind::Null : SqlParam::Kind::Text;
                if (!vazio)
                    esperado = fim;
                break;
            }
            case kAmostra:
                esperado = campo(24);
                esperado.erase(std::remove(esperado.begin(), esperado.end(), '\''), esperado.end());
                break;
            case kVersao:
                if (parametrosLidos && campos.size() >= 7)
                    esperado = campo(5);
                break;
            case kDesde:
                esperado = campo(4);
                break;
            default:
                esperado = campo(e.fonte);
                break;
            }
            FUZZ_CHECK(v.kind == tipo);
            FUZZ_CHECK(v.value == esperado);
        }
    }

    db::ResultSet catalogo(const std::vector<std::string>& nomes)
    {
        db::ResultSet rs;
        for (const std::string& n : nomes) {
            if (n == "SEQUENCIALALTERACAO" || n == "ROT_CODIGO" || n == "PRO_CLIFOR" || n == "PRO_ROTA" ||
                n == "PRO_ORDEM" || n == "MOT_ID")
                rs.columns.push_back(coluna(n, SQL_LONG));
            else if (n == "PRO_LATITUDE" || n == "PRO_LONGITUDE")
                rs.columns.push_back(coluna(n, SQL_DOUBLE));
            else if (n == "PRO_MEDIA")
                rs.columns.push_back(coluna(n, SQL_INT64, -3));
            else
                rs.columns.push_back(coluna(n, SQL_VARYING));
        }
        static const char* const kEstranhos[] = {"D'Ávila", "linha\r\ndois", "\"aspas\"", "`crase`",
                                                 "",        "ção",           "\x02"};
        for (unsigned linha = 0; linha < m_linhasDeCatalogo; ++linha) {
            std::vector<db::Value> row;
            for (const db::Column& c : rs.columns) {
                const std::uint8_t sorte = (m_flags & 128) ? this->sorte() : 0xff;
                if (sorte < 16) {
                    row.push_back({}); // null
                } else if (c.name == "USU_SENHA") {
                    row.push_back(valor(kSenha));
                } else if (c.type == SQL_VARYING) {
                    row.push_back(valor(std::string(sorte < 64 ? kEstranhos[sorte % 7]
                                                               : "Produtor " + std::to_string(linha))));
                } else if (c.type == SQL_DOUBLE) {
                    row.push_back(valor(-29.1234567 - linha * (sorte < 64 ? 1e10 : 1e-3)));
                } else if (c.type == SQL_INT64) {
                    row.push_back(valor(std::int64_t{312500} + linha * (sorte < 64 ? 999999999999 : 1)));
                } else {
                    row.push_back(valor(std::int64_t{1} + linha));
                }
            }
            rs.rows.push_back(std::move(row));
        }
        return rs;
    }

    static inline const std::map<std::string, Comando> m_conhecidos = comandosConhecidos();
    const std::uint8_t m_flags;
    const unsigned m_linhasDeCatalogo;
    const std::uint64_t m_falhas;
    std::uint32_t m_sorte;
    unsigned m_numero = 0;
    std::string m_liberado;
    std::int64_t m_gerador = 1000;
};

// The handheld goes away after some lines.
struct Foi : std::runtime_error
{
    Foi() : std::runtime_error("o aparelho desconectou") {}
};

class Canal : public protocol::ReplyChannel
{
public:
    explicit Canal(int restantes) : m_restantes(restantes) {}
    void writeLine(const std::string& line) override
    {
        if (m_restantes == 0)
            throw Foi();
        if (m_restantes > 0)
            --m_restantes;
        linhas.push_back(line);
    }
    std::vector<std::string> linhas;

private:
    int m_restantes;
};

bool codigoDeCatalogo(const std::string& c)
{
    return c.size() == 4 && c.compare(0, 3, "100") == 0 && c[3] >= '1' && c[3] <= '5';
}

// The reply lines of one request, against the request.
void confereRespostas(const std::vector<std::string>& campos, const std::vector<std::string>& linhas,
                      bool abandonado, long linhasDoCatalogo)
{
    for (const std::string& l : linhas) {
        FUZZ_CHECK(base::isValidUtf8(l));
        FUZZ_CHECK(base::fromWin1252(base::toWin1252(l)) == l);
        if (l == "9999")
            continue; // the keep-alive's answer, alone
        FUZZ_CHECK(l.size() >= 5 && l.compare(l.size() - 1, 1, kStx) == 0);
        const std::vector<std::string> f = protocol::TConexao::Split(l.substr(0, l.size() - 1), kStx);
        for (const std::string& x : f)
            if (x.find_first_of("\r\n") != std::string::npos)
                FUZZ_CHECK(std::find(campos.begin(), campos.end(), x) != campos.end());
        const std::string& r = f[0];
        const bool conhecida = r == "2000" || r == "9998" || r == "9999" || r == "5001" || r == "7001" ||
                               r == "7002" || r == "7003" ||
                               (r.size() == 4 && (r[0] == '2' || r[0] == '3') && r.compare(1, 2, "00") == 0 &&
                                r[3] >= '1' && r[3] <= '5');
        FUZZ_CHECK(conhecida);
        // An acknowledgement echoes the handheld's own identifiers as they came.
        using Campos = std::vector<std::string>;
        auto campo = [&campos](size_t i) {
            return i < campos.size() ? campos[i] : std::string("\x01ausente");
        };
        if (r == "5001")
            FUZZ_CHECK(f.size() == 3 && f[2] == campo(4));
        if (r == "7001")
            FUZZ_CHECK((f == Campos{r, "S", campo(4), campo(11)}));
        if (r == "7002")
            FUZZ_CHECK((f == Campos{r, "S", campo(5)}));
        if (r == "7003")
            FUZZ_CHECK((f == Campos{r, "S", campo(4)}));
        if (r == "2000" || r == "9998")
            FUZZ_CHECK(f.size() == (r == "2000" ? 8u : 2u));
    }
    const bool fimEscrito = !linhas.empty() && linhas.back() == "9999" + kStx;
    if (abandonado)
        FUZZ_CHECK(!fimEscrito);
    if (!campos.empty() && codigoDeCatalogo(campos[0]) && !linhas.empty()) {
        // The header, then exactly as many row lines as it counts.
        const std::string tabela = "0" + campos[0].substr(2);
        auto cabecalho = std::find_if(linhas.begin(), linhas.end(), [&](const std::string& l) {
            return l.compare(0, 4, "2" + tabela) == 0;
        });
        if (cabecalho != linhas.end()) {
            const std::vector<std::string> f = protocol::TConexao::Split(*cabecalho, kStx);
            FUZZ_CHECK(f.size() == 3);
            const long contadas = std::count_if(cabecalho + 1, linhas.end(), [&](const std::string& l) {
                return l.compare(0, 4, "3" + tabela) == 0;
            });
            FUZZ_CHECK(f[1] == std::to_string(std::max(linhasDoCatalogo, 0L)));
            if (!abandonado)
                FUZZ_CHECK(contadas == linhasDoCatalogo && fimEscrito);
            else
                FUZZ_CHECK(contadas <= std::max(linhasDoCatalogo, 0L));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint8_t flags = in.byte();
    const unsigned linhasDeCatalogo = in.byte() % 24;
    const std::uint8_t linhasAteSair = in.byte();
    const int ateSair = (flags & 64) ? linhasAteSair : -1;
    const std::uint64_t falhas = in.number(8);
    const std::uint8_t sorte = in.byte();
    const std::string_view resto = in.rest();

    std::vector<std::string> sessao;
    for (size_t from = 0; from <= resto.size() && sessao.size() < 64;) {
        size_t at = resto.find('\n', from);
        if (at == std::string_view::npos)
            at = resto.size();
        std::string_view linha = resto.substr(from, at - from);
        if (!linha.empty() && linha.back() == '\r')
            linha.remove_suffix(1);
        if (!linha.empty())
            sessao.push_back(base::fromWin1252(linha));
        from = at + 1;
    }

    base::Settings limites;
    if (flags & 16) {
        limites.temperaturaMaxima = 7.0;
        limites.alizarolReprovado = {"72", "74"};
        limites.acidezReprovada = {"positivo"};
    }
    base::StatusModel status;
    protocol::OpcoesDaConexao opcoes;
    opcoes.limitesDeQualidade = (flags & 16) ? &limites : nullptr;
    opcoes.status = (flags & 32) ? &status : nullptr;

    Executor executor(flags, linhasDeCatalogo, falhas, sorte);
    Canal canal(ateSair);
    base::OperatorLog::instance().drain();
    base::operatorMessages().takeAll();
    for (const std::string& texto : sessao) {
        executor.campos = protocol::TConexao::Split(texto, kStx);
        executor.linhasEnviadas = -1;
        executor.parametrosLidos = false;
        const size_t antes = canal.linhas.size();
        bool abandonado = false;
        try {
            protocol::TConexao conexao(executor, kColeta, (flags & 1) ? kTarvell : "", opcoes);
            conexao.TrataTextoRecebidoANDROIDObj(texto, canal, kIp, kSessao);
        } catch (const protocol::CampoAusente&) {
            abandonado = true;
        } catch (const Foi&) {
            abandonado = true;
        } catch (const std::runtime_error& e) {
            const std::string m = e.what();
            FUZZ_CHECK(m.starts_with("a permissão da sessão ") || m.starts_with("catalogo "));
            abandonado = true;
        } catch (...) {
            FUZZ_CHECK(!"an exception the handler does not document");
        }
        const std::vector<std::string> linhas(canal.linhas.begin() + static_cast<long>(antes),
                                              canal.linhas.end());
        confereRespostas(executor.campos, linhas, abandonado, executor.linhasEnviadas);
        if (!abandonado) {
            const bool curta = texto.compare(0, 4, "0000") != 0 && executor.campos.size() < 2;
            if (texto.compare(0, 4, "0000") == 0)
                FUZZ_CHECK(linhas.size() == 1 && linhas[0] == "9999");
            else if (curta)
                FUZZ_CHECK(linhas.empty());
            else
                FUZZ_CHECK(!linhas.empty() && (linhas.back() == "9999" + kStx ||
                                               linhas.back() == "9998" + kStx + "SEM PERMISSAO" + kStx));
        }
        // The received line is logged as it came, whatever it holds.
        for (const std::string& l : base::OperatorLog::instance().drain())
            FUZZ_CHECK(l.find(kSenha) == std::string::npos || texto.find(kSenha) != std::string::npos);
        base::operatorMessages().takeAll();
        if (abandonado)
            break; // the connection ends
    }
    return 0;
}
