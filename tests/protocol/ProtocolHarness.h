#pragma once
// A released handheld session on a scratch collection database: each request
// line goes to a fresh TConexao, as the request intake does it, and what the
// handheld received, what the operator log got and which message boxes were
// handed over are recorded for the test to read.

#include "base/OperatorLog.h"
#include "base/OperatorMessages.h"
#include "db/Attachment.h"
#include "protocol/ReplyChannel.h"
#include "protocol/TConexao.h"
#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

namespace quelvor::protocol::harness {

inline const std::string kStx(1, '\x02');

class RecordingChannel : public ReplyChannel
{
public:
    void writeLine(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};

// Joins fields with STX; a trailing "" gives the trailing separator.
inline std::string linha(const std::vector<std::string>& campos)
{
    std::string out;
    for (size_t i = 0; i < campos.size(); ++i)
        out += (i ? kStx : "") + campos[i];
    return out;
}

// A reply line as the handheld reads it: every field followed by STX.
inline std::string resposta(const std::vector<std::string>& campos)
{
    std::string out;
    for (const std::string& c : campos)
        out += c + kStx;
    return out;
}

inline const std::string kFim = resposta({"9999"});

struct Resposta
{
    std::vector<std::string> linhas; // what the handheld received
    std::vector<std::string> log;    // operator log messages, without date and time
    std::vector<std::string> caixas; // message boxes handed to the operator
    bool abandonada = false;         // an error left the handler: the connection ends
};

inline db::ConnectionParams parametros(const test::TestDatabase& base)
{
    return {base.connectionString(), base.user(), base.password(), "WIN1252"};
}

// Runs one SELECT on an attachment of its own, closed before returning.
inline db::ResultSet consulta(const test::TestDatabase& base, const db::Sql& sql)
{
    db::Attachment a(parametros(base));
    return a.select(sql);
}

class SessaoLiberada
{
public:
    static constexpr const char* kSessao = "77";

    // erp: the ERP database handed to every handler, or none.
    explicit SessaoLiberada(const test::TestDatabase& coleta, const test::TestDatabase* erp = nullptr)
        : m_coleta(coleta), m_erp(erp)
    {
        coleta.execScript(
            std::string("INSERT INTO SESSOESATIVAS (SES_ID, LIBERADO, EMPRESACERTA, VERSAOCORRETA, "
                        "IP) VALUES (") +
            kSessao + ", 'S', 'S', 'S', '127.0.0.1');");
    }

    Resposta envia(const std::string& texto)
    {
        base::OperatorLog::instance().drain();
        base::operatorMessages().takeAll();
        Resposta r;
        RecordingChannel canal;
        try {
            TConexao conexao(m_coleta.connectionString(), m_coleta.user(), m_coleta.password(),
                             m_erp ? m_erp->connectionString() : "", m_erp ? m_erp->user() : "",
                             m_erp ? m_erp->password() : "", opcoes);
            conexao.TrataTextoRecebidoANDROIDObj(texto, canal, "127.0.0.1", kSessao);
        } catch (const std::exception&) {
            r.abandonada = true;
        }
        r.linhas = canal.lines;
        for (const std::string& l : base::OperatorLog::instance().drain()) {
            // "date time-message": the date and time hold no '-'.
            const size_t at = l.find('-');
            r.log.push_back(at == std::string::npos ? l : l.substr(at + 1));
        }
        r.caixas = base::operatorMessages().takeAll();
        return r;
    }

    // What every handler of the session is given beside the databases.
    OpcoesDaConexao opcoes;

private:
    const test::TestDatabase& m_coleta;
    const test::TestDatabase* m_erp;
};

// The log messages that begin with the given text.
inline std::vector<std::string> comecamCom(const std::vector<std::string>& log, const std::string& inicio)
{
    std::vector<std::string> out;
    for (const std::string& l : log)
        if (l.rfind(inicio, 0) == 0)
            out.push_back(l);
    return out;
}

inline bool contem(const std::vector<std::string>& log, const std::string& mensagem)
{
    for (const std::string& l : log)
        if (l == mensagem)
            return true;
    return false;
}

} // namespace quelvor::protocol::harness
