#pragma once
// TConexao: the handler of one request line. The request intake builds one per
// received line with its own attachments (BDColeta, and BDTarvell when an ERP
// path is set), calls TrataTextoRecebidoANDROIDObj once and destroys it. It
// lives on its connection's thread only.
//
// Handlers read request fields through campo(); a position that the line does
// not have throws CampoAusente, which abandons the request (nothing more is
// written, not even the end line) and ends the connection.

#include "base/Settings.h"
#include "base/StatusModel.h"
#include "db/Attachment.h"
#include "db/AttachmentPool.h"
#include "db/Cancellation.h"
#include "db/ResultSet.h"
#include "db/Sql.h"
#include "db/StatementRunner.h"
#include "protocol/ReplyChannel.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace quelvor::protocol {

inline constexpr char STX = '\x02';

// Thrown by the constructor when a database cannot be attached; tells which.
class BaseInacessivel : public std::runtime_error
{
public:
    enum class Base
    {
        Coleta,
        Tarvell,
    };
    BaseInacessivel(Base base, const std::string& mensagem) : std::runtime_error(mensagem), base(base) {}
    const Base base;
};

// What the request intake gives a handler beside the database fields.
struct OpcoesDaConexao
{
    int tempoEsperaBloqueio = 0;              // seconds a statement waits for a locked row; 0: no limit
    db::Cancellation* cancelamento = nullptr; // lets a stop cancel the request's statements
    // Where the attachments come from and go back to; none: attached for the
    // request and detached after it.
    db::AttachmentPool* poolColeta = nullptr;
    db::AttachmentPool* poolTarvell = nullptr;
    // Hears who the handheld is, each upload acknowledged or not and the
    // quality alerts; none: nobody is told.
    base::StatusModel* status = nullptr;
    // The request's settings copy, for its [Alertas] thresholds; none: no alerts.
    const base::Settings* limitesDeQualidade = nullptr;
};

// Thrown when a handler reads a field position that the request lacks.
class CampoAusente : public std::runtime_error
{
public:
    explicit CampoAusente(size_t index);
};

// The request's working query: the rows of the last SELECT it ran.
struct WorkingQuery
{
    db::ResultSet rows;
    bool active = false; // a SELECT was opened and fetched
};

class TConexao
{
public:
    // Create: opens BDColeta, and BDTarvell when CaminhoTarvell is not empty.
    // Throws BaseInacessivel when either cannot be opened, DbError when the
    // server is stopping (whatever was opened is released).
    TConexao(const std::string& CaminhoColeta, const std::string& UsuarioColeta,
             const std::string& SenhaColeta, const std::string& CaminhoTarvell,
             const std::string& UsuarioTarvell, const std::string& SenhaTarvell,
             const OpcoesDaConexao& opcoes = {});
    // Without a database: every statement and lookup goes to `comandos`, which
    // outlives the handler. Nothing is attached; the attachments only keep the
    // paths (BDTarvell's empty when no ERP path is given), so each handler
    // picks its database as in the server. The options' pools and
    // cancellation are not used.
    TConexao(db::StatementRunner& comandos, const std::string& CaminhoColeta,
             const std::string& CaminhoTarvell, const OpcoesDaConexao& opcoes = {});
    // Destroy: commits what is open and closes both attachments; never throws.
    ~TConexao();

    TConexao(const TConexao&) = delete;
    TConexao& operator=(const TConexao&) = delete;

    // Handles one request line. Throws when the request is abandoned (a missing
    // field, a reply that cannot be written); the caller then ends the connection.
    void TrataTextoRecebidoANDROIDObj(const std::string& texto, ReplyChannel& Conexao,
                                      const std::string& EnderecoIP, const std::string& idconexao);

    static std::vector<std::string> Split(const std::string& texto, const std::string& separador);

    // Building blocks shared by the message handlers.
    void log(const std::string& mensagem);
    bool enviaRetorno(const std::string& texto, ReplyChannel& Conexao);
    // The same line, with another text for the log (a password masked).
    bool enviaRetorno(const std::string& texto, ReplyChannel& Conexao, const std::string& textoNoLog);
    bool ExecutaQuery(const db::Sql& statement, WorkingQuery& query, db::Attachment& conexao);
    std::string PTAB(const std::string& tabela, const std::string& campo, const db::Sql& condicao,
                     db::Attachment& conexao);

    db::Attachment BDColeta;
    db::Attachment BDTarvell; // not connected when no ERP path is set

private:
    // Commits and gives each attachment back to its pool, or closes it.
    void devolve() noexcept;

    // An attachment's place in the request's cancellation, given up before
    // the attachment closes.
    class Registro
    {
    public:
        Registro() = default;
        Registro(const Registro&) = delete;
        Registro& operator=(const Registro&) = delete;
        ~Registro() { retira(); }
        void registra(db::Cancellation* cancelamento, db::Attachment& conexao);
        void retira();

    private:
        db::Cancellation* m_cancelamento = nullptr;
        db::Attachment* m_conexao = nullptr;
    };
    // Declared after the attachments: withdrawn before they are destroyed.
    Registro m_registroColeta;
    Registro m_registroTarvell;
    // The pools the attachments were taken from, and their tickets.
    db::AttachmentPool* m_poolColeta = nullptr;
    db::AttachmentPool* m_poolTarvell = nullptr;
    unsigned long m_bilheteColeta = 0;
    unsigned long m_bilheteTarvell = 0;
    // From the options; both outlive the handler.
    base::StatusModel* m_status = nullptr;
    const base::Settings* m_limitesDeQualidade = nullptr;
    // Where ExecutaQuery, PTAB and the release lookup run their statements.
    db::AttachmentRunner m_nosAnexos;
    db::StatementRunner* m_comandos = &m_nosAnexos;

public:
private:
    // State of the request being handled.
    struct Request
    {
        const std::string& texto;
        ReplyChannel& conexao;
        const std::string& enderecoIP;
        const std::string& idconexao;
        std::vector<std::string> campos;
        WorkingQuery query;

        const std::string& campo(size_t index) const;
        // The number of fields minus one, as the handlers test it.
        int ultimo() const { return static_cast<int>(campos.size()) - 1; }
    };

    std::string liberado(const Request& r);
    void aberturaDeSessao(Request& r);
    void handshake(Request& r);
    void catalogo(Request& r, const std::string& baseStatement, const std::string& tabela);
    void solicitaGenerator(Request& r);
    void gravaCarga(Request& r);
    void gravaColeta(Request& r);
    void alertasDeQualidade(const Request& r);
    void informaEnvio(const Request& r, std::string_view codigo, bool confirmado);
    void gravaRastreamento(Request& r);
};

} // namespace quelvor::protocol
