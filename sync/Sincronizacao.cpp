#include "sync/Sincronizacao.h"

#include "base/OperatorLog.h"
#include "db/DbError.h"
#include "db/QueryHelpers.h"
#include "db/Sql.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace quelvor::sync {

const char* const kConsultaRotasTarvell = "SELECT ROT_CODIGO, ROT_DESCRICAO FROM ROTAS";
const char* const kConsultaRotasColeta = "SELECT ROT_CODIGO, ROT_DESCRICAO FROM ROTAS WHERE ROT_CODIGO = ";
const char* const kConsultaProdutoresTarvell =
    "SELECT PRO_CLIFOR, COALESCE(B.CLI_RAZAO,A.CLI_RAZAO,'') AS CLI_RAZAO, COALESCE(PRO_LATITUDE,0) AS "
    "PRO_LATITUDE , COALESCE(PRO_LONGITUDE,0) as PRO_LONGITUDE, COALESCE(CLI_ENDERECO,'') AS CLI_ENDERECO, "
    "COALESCE(CLI_BAIRRO,'') AS CLI_BAIRRO,CID_NOME, COALESCE(PRO_TRANSPORTADOR,0) AS "
    "PRO_TRANSPORTADOR,COALESCE(PRO_ATIVO,0) AS PRO_ATIVO,COALESCE(PRO_ORDEM,0) AS PRO_ORDEM FROM PRODUTORES "
    "A,CLI_FOR B,  CIDADES C WHERE A.PRO_CLIFOR = B.CLI_CODIGO AND B.CLI_CIDADE = C.CID_CODIGO ORDER BY "
    "PRO_CLIFOR";
const char* const kConsultaProdutoresColeta = "SELECT PRO_CLIFOR, CLI_RAZAO, PRO_LATITUDE, PRO_LONGITUDE, "
                                              "PRO_ENDERECO, PRO_BAIRRO, PRO_CIDADE, PRO_ROTA, "
                                              "PRO_ATIVO, PRO_ORDEM FROM PRODUTORES WHERE PRO_CLIFOR = ";

namespace {

// A number read from the database: exact (scaled) or floating.
struct Numero
{
    bool exato = true;
    std::int64_t escalado = 0;
    int escala = 0;
    double real = 0;

    double comoReal() const
    {
        if (!exato)
            return real;
        double divisor = 1;
        for (int i = escala; i < 0; ++i)
            divisor *= 10;
        return static_cast<double>(escalado) / divisor;
    }
};

std::optional<Numero> comoNumero(const db::Value& v, const db::Column& c)
{
    if (const auto* i = std::get_if<std::int64_t>(&v.data))
        return Numero{true, *i, std::min(c.scale, 0), 0};
    if (const auto* d = std::get_if<double>(&v.data))
        return Numero{false, 0, 0, *d};
    return std::nullopt;
}

bool mesmoNumero(const Numero& a, const Numero& b)
{
    if (a.exato && b.exato) {
        // Bring both to the finer scale; NUMERIC(18,s) fits in 128 bits after
        // at most 18 decimal shifts.
        __int128 x = a.escalado;
        __int128 y = b.escalado;
        int ex = a.escala;
        int ey = b.escala;
        if (ex - ey > 18 || ey - ex > 18)
            return a.comoReal() == b.comoReal();
        for (; ex > ey; --ex)
            x *= 10;
        for (; ey > ex; --ey)
            y *= 10;
        return x == y;
    }
    return a.comoReal() == b.comoReal();
}

// Typed test: numbers by value, texts byte for byte (so letter case counts),
// dates and times by their fields; values of different kinds are not equal
// here and are left to the text tests.
bool mesmoValorTipado(const db::Value& a, const db::Column& ca, const db::Value& b, const db::Column& cb)
{
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    const auto na = comoNumero(a, ca);
    const auto nb = comoNumero(b, cb);
    if (na && nb)
        return mesmoNumero(*na, *nb);
    if (na || nb)
        return false;
    return a.data == b.data;
}

std::string semAspasDuplas(std::string texto)
{
    texto.erase(std::remove(texto.begin(), texto.end(), '"'), texto.end());
    return texto;
}

std::string virgulaParaPonto(std::string texto)
{
    std::replace(texto.begin(), texto.end(), ',', '.');
    return texto;
}

} // namespace

std::string limpaValor(const std::string& texto)
{
    // The characters go first and the blanks after, so that cleaning a
    // cleaned value changes nothing: "abc '" is written "abc", and "abc"
    // then compares as the same on the next run.
    std::string limpo = texto;
    limpo.erase(std::remove_if(limpo.begin(), limpo.end(),
                               [](char c) { return c == '\r' || c == '\n' || c == '`' || c == '\''; }),
                limpo.end());
    return db::trimSql(limpo);
}

bool colunaDifere(const db::Value& a, const db::Column& ca, const db::Value& b, const db::Column& cb,
                  bool coordenada)
{
    if (mesmoValorTipado(a, ca, b, cb))
        return false;
    // The text tests only ever take a difference back: whatever goes wrong
    // in them leaves the row marked as different, and it is written again.
    try {
        // A null and '' become equal here: the ERP query turns nulls into ''.
        if (semAspasDuplas(db::asText(a, ca)) == semAspasDuplas(db::asText(b, cb)))
            return false;
    } catch (const std::exception&) {
    }
    try {
        // The characters that the write drops, so a row written once compares
        // as the same on the next run.
        std::string limpoA = limpaValor(db::asText(a, ca));
        std::string limpoB = limpaValor(db::asText(b, cb));
        // Coordinates are written with a point for the comma: an ERP
        // latitude of -29,5 is stored -29.5 and is no change next time.
        if (coordenada) {
            limpoA = virgulaParaPonto(limpoA);
            limpoB = virgulaParaPonto(limpoB);
        }
        if (limpoA == limpoB)
            return false;
    } catch (const std::exception&) {
    }
    return true;
}

std::string textoNumerico(const db::Value& value, const db::Column& column)
{
    if (const auto* i = std::get_if<std::int64_t>(&value.data))
        return column.scale < 0 ? base::generalScaled(*i, column.scale, '.') : std::to_string(*i);
    if (const auto* d = std::get_if<double>(&value.data))
        return base::generalFloat(*d, 15, '.');
    return db::asText(value, column);
}

db::Sql comandoGravacao(const std::string& NomeTabela, const db::ResultSet& a,
                        const std::vector<db::Value>& linha)
{
    auto valor = [&](size_t i) {
        if (i >= linha.size())
            throw std::runtime_error("A consulta de " + NomeTabela + " no Tarvell não traz a coluna " +
                                     std::to_string(i + 1) + ".");
        return limpaValor(db::asText(linha[i], a.columns[i]));
    };

    if (NomeTabela == "PRODUTORES") {
        std::vector<db::SqlParam> valores{
            db::bare(valor(0)),
            db::text(valor(1)),
            db::bare(virgulaParaPonto(valor(2))),
            db::bare(virgulaParaPonto(valor(3))),
            db::text(valor(4)),
            db::text(valor(5)),
            db::text(valor(6)),
            db::text(valor(7)),
            db::bare(valor(8)),
            db::bare(valor(9)),
        };
        return db::Sql(
            "UPDATE OR INSERT INTO PRODUTORES(PRO_CLIFOR, CLI_RAZAO, PRO_LATITUDE, PRO_LONGITUDE, "
            "PRO_ENDERECO, PRO_BAIRRO, PRO_CIDADE, PRO_ROTA,PRO_ATIVO,PRO_ORDEM)VALUES(?, ?, ?, ?, ?, ?, "
            "?, ?, ?, ? )",
            std::move(valores));
    }
    if (NomeTabela == "ROTAS")
        return db::Sql("UPDATE OR INSERT INTO ROTAS(ROT_CODIGO, ROT_DESCRICAO)VALUES(?, ?);",
                       {db::bare(valor(0)), db::text(valor(1))});
    throw std::invalid_argument("Tabela sem gravação na sincronização: " + NomeTabela);
}

db::Sql comandoMedia(const db::ResultSet& a, const std::vector<db::Value>& linha, int colProdutor,
                     int colMedia)
{
    // Bound as numbers, so a decimal average reaches the database with its
    // point whatever separator the operator's settings show. A null average
    // (or code) matches no producer and changes nothing.
    auto numero = [&](int col) {
        const db::Value& v = linha.at(col);
        return v.isNull() ? db::null() : db::bare(textoNumerico(v, a.columns.at(col)));
    };
    const db::SqlParam media = numero(colMedia);
    return db::Sql("UPDATE PRODUTORES SET PRO_MEDIA = ? WHERE PRO_CLIFOR = ? AND PRO_MEDIA <> ?; ",
                   {media, numero(colProdutor), media});
}

Sincronizacao::Sincronizacao(SincronizacaoHost& host) : m_host(host) {}

void Sincronizacao::Timer2Timer()
{
    S2Click();
}

void Sincronizacao::marcaOcupado(bool ocupado)
{
    m_ocupado = ocupado;
    m_host.setSyncBusy(ocupado);
}

void Sincronizacao::S2Click()
{
    ++m_host.contadorSincronizacao();
    if (!m_host.integracaoAtiva()) {
        base::log("Integração com TARVELL não está ativa.");
        return;
    }
    if (m_ocupado) {
        base::log("Serviço já está em execução.");
        return;
    }
    // The mark goes up before the first log line: that line already lets
    // pending events run, and a click taken there must meet it.
    marcaOcupado(true);
    m_geracao = m_host.geracaoConexoes();
    base::StatusModel* const status = m_host.statusModel();
    m_execucao = status ? status->sincronizacaoIniciada() : 0;
    // The run's end in the status model, however the run ends.
    const auto termina = [&](bool sucesso, const std::string& erro) {
        if (status)
            status->sincronizacaoTerminada(m_execucao, sucesso, erro);
        m_execucao = 0;
    };
    try {
        base::log("Iniciando processo de busca por novos dados...");
        comparaDados(kConsultaRotasTarvell, kConsultaRotasColeta, "ROTAS");
        comparaDados(kConsultaProdutoresTarvell, kConsultaProdutoresColeta, "PRODUTORES");
        if (m_host.contadorSincronizacao() > 10) {
            CalculaMedia();
            m_host.contadorSincronizacao() = 0;
        }
        m_host.mostraProgresso("-");
    } catch (const Interrompida&) {
        // The application is ending: what was written stays written, the
        // rest waits for the next run of the program.
        marcaOcupado(false);
        termina(false, "a aplicação está sendo encerrada");
        base::log("Sincronização interrompida: a aplicação está sendo encerrada.");
        return;
    } catch (...) {
        // The next tick must be able to start a new run.
        marcaOcupado(false);
        std::string erro = "erro desconhecido";
        try {
            throw;
        } catch (const std::exception& e) {
            erro = e.what();
        } catch (...) {
        }
        termina(false, erro);
        const std::string linha = "Processo de busca por novos dados interrompido: " + erro;
        if (status)
            status->erro(linha);
        base::log(linha);
        throw;
    }
    marcaOcupado(false);
    termina(true, {});
    base::log("Concluindo processo de busca por novos dados");
}

// Between two rows the window gets its turn, then the run pauses. A command
// taken there may have stopped the service and closed the connections that
// the run works on, or restarted it over new ones; the run then ends instead
// of reopening them behind the operator's back, or of carrying rows read from
// one database into another.
void Sincronizacao::entreLinhas()
{
    m_host.processPendingEvents();
    if (m_host.exitRequested())
        throw Interrompida();
    verificaConexoes();
}

void Sincronizacao::verificaGeracao() const
{
    if (m_host.geracaoConexoes() != m_geracao)
        throw db::DbError("Sincronização interrompida: o serviço foi encerrado ou reiniciado durante a "
                          "execução.");
}

void Sincronizacao::verificaConexoes() const
{
    verificaGeracao();
    if (!m_host.conexaoTarvell().connected() || !m_host.conexaoTemp().connected())
        throw db::DbError("Conexão encerrada durante a sincronização.");
}

void Sincronizacao::comparaDados(const std::string& Query1, const std::string& Query2,
                                 const std::string& NomeTabela)
{
    base::log(NomeTabela);
    // The log line let pending events run: a stop or a restart taken there
    // ends the run as between rows. A connection that was closed before the
    // run began is opened with what it holds.
    verificaGeracao();
    m_host.conexaoTarvell().open();
    const db::ResultSet a = m_host.conexaoTarvell().select(db::Sql(Query1));
    base::StatusModel* const status = m_execucao ? m_host.statusModel() : nullptr;
    base::TabelaSincronizada contagem{NomeTabela, a.rows.size(), 0};
    if (status)
        status->sincronizacaoTabela(m_execucao, contagem);
    if (a.empty())
        return;
    m_host.conexaoTemp().open();

    for (const std::vector<db::Value>& linha : a.rows) {
        entreLinhas();
        // The key goes into the lookup as the ERP gives it; a key that is not
        // a number fails the lookup and ends the run.
        const std::string chave = db::asText(linha.at(0), a.columns.at(0));
        m_host.mostraProgresso(db::Lpad(chave, 10, "0") + " (" + NomeTabela + ")");
        if (m_pausa.count() > 0)
            std::this_thread::sleep_for(m_pausa);

        const db::ResultSet b = m_host.conexaoTemp().select(db::Sql(Query2 + " ?", {db::bare(chave)}));
        bool difere = b.empty();
        if (!difere) {
            if (b.columns.size() > a.columns.size())
                throw std::runtime_error("A consulta de " + NomeTabela + " no Tarvell traz " +
                                         std::to_string(a.columns.size()) + " colunas e a da coleta " +
                                         std::to_string(b.columns.size()) + ".");
            for (size_t i = 0; i < b.columns.size() && !difere; ++i)
                difere = colunaDifere(linha[i], a.columns[i], b.rows[0][i], b.columns[i],
                                      NomeTabela == "PRODUTORES" && (i == 2 || i == 3));
        }
        if (difere) {
            m_host.conexaoTemp().execute(comandoGravacao(NomeTabela, a, linha));
            ++contagem.gravadas;
            if (status)
                status->sincronizacaoTabela(m_execucao, contagem);
        }
    }
}

void Sincronizacao::CalculaMedia()
{
    base::log("CALCULANDO MÉDIA");
    verificaGeracao();
    m_host.conexaoTarvell().open();
    const db::ResultSet a = m_host.conexaoTarvell().select(db::Sql("SELECT * FROM COL001"));
    if (a.empty())
        return;
    const int colProdutor = a.indexOf("PRO_CLIFOR");
    const int colMedia = a.indexOf("PRO_MEDIA");
    if (colProdutor < 0 || colMedia < 0)
        throw db::DbError("COL001 no Tarvell não tem as colunas PRO_CLIFOR e PRO_MEDIA.");
    m_host.conexaoTemp().open();

    for (const std::vector<db::Value>& linha : a.rows) {
        entreLinhas();
        if (m_pausa.count() > 0)
            std::this_thread::sleep_for(m_pausa);
        const db::Sql comando = comandoMedia(a, linha, colProdutor, colMedia);
        m_host.mostraProgresso(db::Lpad(db::asText(linha[colProdutor], a.columns[colProdutor]), 10, "0") +
                               " (MEDIA)");
        m_host.conexaoTemp().execute(comando);
    }
}

} // namespace quelvor::sync
