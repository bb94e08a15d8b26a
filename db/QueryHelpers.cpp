#include "db/QueryHelpers.h"

#include "base/OperatorLog.h"
#include "db/DbError.h"

#include <chrono>

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

void registraFalha(const std::string& linha, std::string* erro)
{
    if (erro)
        *erro = linha;
    base::log(linha);
}

} // namespace

bool executaComando(Attachment& conexao, const Sql& statement, ResultSet& rows, bool& selected,
                    std::string* erro)
{
    const Sql trimmed = statement.trimmed();
    for (int tentativa = 1;; ++tentativa) {
        rows = ResultSet{};
        selected = false;
        const auto inicio = std::chrono::steady_clock::now();
        try {
            if (isSelectStatement(trimmed.text())) {
                rows = conexao.select(trimmed);
                selected = true;
            } else {
                conexao.execute(trimmed);
            }
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
            if (tentativa == 1 && e.isConflict() && !esgotouEspera)
                continue;
            rows = ResultSet{};
            selected = false;
            registraFalha("Erro na query: " + trimmed.display() + e.what(), erro);
            return false;
        } catch (const std::exception& e) {
            rows = ResultSet{};
            selected = false;
            registraFalha("Erro na query: " + trimmed.display() + e.what(), erro);
            return false;
        }
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
