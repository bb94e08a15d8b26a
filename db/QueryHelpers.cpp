#include "db/QueryHelpers.h"

#include "base/OperatorLog.h"
#include "db/DbError.h"

#include <chrono>
#include <exception>
#include <functional>

namespace quelvor::db {

bool isSelectStatement(const std::string& trimmed)
{
    std::string head = trimmed.substr(0, 6);
    for (char& c : head)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return head == "SELECT";
}

ConnectionParams parametrosDaBase(const base::Settings& settings, bool erp)
{
    ConnectionParams params;
    params.database = erp ? settings.EdtBaseTarvell : settings.EdtBaseColeta;
    params.user = erp ? settings.EdtUsuarioTarvell : settings.EdtUsuarioColeta;
    params.password = erp ? settings.EdtSenhaTarvell : settings.EdtSenhaColeta;
    params.charset = "WIN1252";
    params.lockTimeout = settings.tempoEsperaBloqueio;
    return params;
}

bool ExecutaQuery(const base::Settings& settings, const Sql& TextoSQL, std::unique_ptr<Query>& Query,
                  const std::string& base_dados)
{
    const ConnectionParams params = parametrosDaBase(settings, base_dados == "d");

    auto made = std::make_unique<db::Query>();
    made->connection.connect(params); // a failure here goes to the caller, unlogged
    Query = std::move(made);
    bool selected = false;
    return executaComando(Query->connection, TextoSQL, Query->rows, selected);
}

namespace {

thread_local base::StatusModel* t_falhasPara = nullptr;

void registraFalha(const std::string& linha)
{
    base::log(linha);
    if (t_falhasPara)
        t_falhasPara->erro(linha);
}

} // namespace

FalhasParaOStatus::FalhasParaOStatus(base::StatusModel* status) : m_anterior(t_falhasPara)
{
    t_falhasPara = status;
}

FalhasParaOStatus::~FalhasParaOStatus()
{
    t_falhasPara = m_anterior;
}

namespace {

// Runs `corre` once, and once more after an update conflict or a deadlock
// when `repete` allows it; a failure is logged as "Erro na query: ...".
bool comRepeticao(Attachment& conexao, const Sql& trimmed, const std::function<void()>& corre,
                  const std::function<bool()>& repete)
{
    for (int tentativa = 1;; ++tentativa) {
        const auto inicio = std::chrono::steady_clock::now();
        try {
            corre();
            return true;
        } catch (const DbError& e) {
            // Two handhelds (or a handheld and the synchronisation) wrote the
            // same row at once: once the other has committed, the statement
            // goes through, so it runs once more before it counts as failed.
            // The server reports a lock wait that ran out the same way; that
            // one has waited long enough and is not run again.
            const int espera = conexao.params().lockTimeout;
            const bool esgotouEspera =
                espera > 0 && std::chrono::steady_clock::now() - inicio >=
                                  std::chrono::seconds(espera) - std::chrono::milliseconds(200);
            if (tentativa == 1 && e.isConflict() && !esgotouEspera && repete())
                continue;
            registraFalha("Erro na query: " + trimmed.display() + e.what());
            return false;
        } catch (const std::exception& e) {
            registraFalha("Erro na query: " + trimmed.display() + e.what());
            return false;
        }
    }
}

} // namespace

bool executaComando(Attachment& conexao, const Sql& statement, ResultSet& rows, bool& selected)
{
    const Sql trimmed = statement.trimmed();
    const bool select = isSelectStatement(trimmed.text());
    auto corre = [&] {
        rows = ResultSet{};
        selected = false;
        if (select) {
            rows = conexao.select(trimmed);
            selected = true;
        } else {
            conexao.execute(trimmed);
        }
    };
    const bool executou = comRepeticao(conexao, trimmed, corre, [] { return true; });
    if (!executou) {
        rows = ResultSet{};
        selected = false;
    }
    return executou;
}

bool executaConsulta(Attachment& conexao, const Sql& statement, const RowCallback& onRow)
{
    const Sql trimmed = statement.trimmed();
    const bool select = isSelectStatement(trimmed.text());
    bool entregou = false; // a row reached onRow: running again would hand it over twice
    // What onRow threw passes the logging of failed statements in this
    // wrapper, which is no std::exception.
    struct DoChamador
    {
        std::exception_ptr erro;
    };
    auto corre = [&] {
        if (!select) {
            conexao.execute(trimmed);
            return;
        }
        std::exception_ptr doChamador;
        try {
            conexao.selectEach(trimmed, [&](const RowView& row) {
                entregou = true;
                try {
                    onRow(row);
                } catch (...) {
                    doChamador = std::current_exception();
                    throw;
                }
            });
        } catch (...) {
            if (doChamador)
                throw DoChamador{doChamador};
            throw;
        }
    };
    try {
        return comRepeticao(conexao, trimmed, corre, [&] { return !entregou; });
    } catch (const DoChamador& e) {
        std::rethrow_exception(e.erro);
    }
}

std::string PTAB(const std::string& Tabela, const std::string& Campo, const Sql& Condicao,
                 Attachment& conexao, bool* falhou)
{
    if (falhou)
        *falhou = false;
    std::vector<std::string> lines{"SELECT FIRST 1 " + Campo + " from " + Tabela};
    if (!trimSql(Condicao.text()).empty())
        lines.push_back(" Where " + Condicao.text());
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i)
        text += (i ? "\r\n" : "") + lines[i];
    const Sql statement(text, Condicao.params());
    try {
        conexao.open();
        const ResultSet rs = conexao.select(statement);
        if (rs.empty() || rs.columns.empty())
            return {};
        return asText(rs.rows[0][0], rs.columns[0]);
    } catch (const std::exception& e) {
        std::string shown;
        const std::string displayed = statement.display();
        size_t from = 0;
        for (;;) {
            const size_t at = displayed.find("\r\n", from);
            shown += displayed.substr(from, at == std::string::npos ? std::string::npos : at - from) + "\r\n";
            if (at == std::string::npos)
                break;
            from = at + 2;
        }
        base::log("erro PTAB:" + std::string(e.what()) + " - " + shown);
        if (falhou)
            *falhou = true;
        return {};
    }
}

std::string Lpad(const std::string& Expressao, int Quantidade, const std::string& valor)
{
    auto length = [](const std::string& s) {
        // Length in characters, not bytes.
        size_t n = 0;
        for (unsigned char c : s)
            if ((c & 0xC0) != 0x80)
                ++n;
        return n;
    };
    std::string result = Expressao;
    if (valor.empty())
        return result;
    while (static_cast<long>(length(result)) < Quantidade)
        result = valor + result;
    return result;
}

} // namespace quelvor::db
