#include "protocol/TConexao.h"

#include "base/OperatorLog.h"

#include <utility>

namespace quelvor::protocol {
namespace {

db::ConnectionParams params(const std::string& path, const std::string& user, const std::string& password)
{
    return {path, user, password, "WIN1252"};
}

// The catalogue statements, each ending with one blank.
struct Catalogo
{
    const char* codigo;
    const char* tabela;
    const char* sql;
};
constexpr Catalogo kCatalogos[] = {
    {"1001", "001", "SELECT ROT_CODIGO, ROT_DESCRICAO, SEQUENCIALALTERACAO FROM ROTAS "},
    {"1002", "002",
     "SELECT PRO_CLIFOR, CLI_RAZAO, PRO_LATITUDE, PRO_LONGITUDE, PRO_ENDERECO, PRO_BAIRRO, PRO_CIDADE, "
     "PRO_MEDIA, PRO_ROTA, PRO_ORDEM, SEQUENCIALALTERACAO, PRO_ATIVO, ID_OUTROSISTEMA FROM PRODUTORES "},
    {"1003", "003", "SELECT USU_NOME, USU_SENHA, USU_MASTER, SEQUENCIALALTERACAO FROM USUARIOS "},
    {"1004", "004", "SELECT MOT_ID, MOT_DESCRICAO, SEQUENCIALALTERACAO FROM MOTIVO_NAOCOLETA "},
    {"1005", "005", "SELECT PAR_CAMPO, PAR_VALOR, SEQUENCIALALTERACAO FROM PARAMETROSESPECIAIS "},
};

} // namespace

CampoAusente::CampoAusente(size_t index)
    : std::runtime_error("campo " + std::to_string(index) + " ausente na mensagem")
{
}

const std::string& TConexao::Request::campo(size_t index) const
{
    if (index >= campos.size())
        throw CampoAusente(index);
    return campos[index];
}

void TConexao::Registro::registra(db::Cancellation* cancelamento, db::Attachment& conexao)
{
    if (!cancelamento)
        return;
    cancelamento->registra(conexao); // throws once the server is stopping
    m_cancelamento = cancelamento;
    m_conexao = &conexao;
}

void TConexao::Registro::retira()
{
    if (m_cancelamento)
        m_cancelamento->retira(*m_conexao);
    m_cancelamento = nullptr;
}

TConexao::TConexao(const std::string& CaminhoColeta, const std::string& UsuarioColeta,
                   const std::string& SenhaColeta, const std::string& CaminhoTarvell,
                   const std::string& UsuarioTarvell, const std::string& SenhaTarvell,
                   const OpcoesDaConexao& opcoes)
    : m_status(opcoes.status), m_limitesDeQualidade(opcoes.limitesDeQualidade)
{
    // A failure leaves the members to their destructors, which release them.
    auto abre = [&](db::Attachment& conexao, db::AttachmentPool* pool, db::AttachmentPool*& tomadaDe,
                    unsigned long& bilhete, BaseInacessivel::Base base, const std::string& caminho,
                    const std::string& usuario, const std::string& senha) {
        db::ConnectionParams p = params(caminho, usuario, senha);
        p.lockTimeout = opcoes.tempoEsperaBloqueio;
        try {
            if (pool) {
                conexao = pool->take(p, bilhete);
                tomadaDe = pool;
            } else {
                conexao.connect(p);
            }
        } catch (const std::exception& e) {
            throw BaseInacessivel(base, e.what());
        }
    };
    try {
        abre(BDColeta, opcoes.poolColeta, m_poolColeta, m_bilheteColeta, BaseInacessivel::Base::Coleta,
             CaminhoColeta, UsuarioColeta, SenhaColeta);
        m_registroColeta.registra(opcoes.cancelamento, BDColeta);
        if (!CaminhoTarvell.empty()) {
            abre(BDTarvell, opcoes.poolTarvell, m_poolTarvell, m_bilheteTarvell,
                 BaseInacessivel::Base::Tarvell, CaminhoTarvell, UsuarioTarvell, SenhaTarvell);
            m_registroTarvell.registra(opcoes.cancelamento, BDTarvell);
        }
    } catch (...) {
        // The destructor does not run: what was taken goes back here.
        m_registroColeta.retira();
        m_registroTarvell.retira();
        devolve();
        throw;
    }
}

TConexao::TConexao(db::StatementRunner& comandos, const std::string& CaminhoColeta,
                   const std::string& CaminhoTarvell, const OpcoesDaConexao& opcoes)
    : m_status(opcoes.status), m_limitesDeQualidade(opcoes.limitesDeQualidade), m_comandos(&comandos)
{
    for (auto [conexao, caminho] :
         {std::pair{&BDColeta, &CaminhoColeta}, std::pair{&BDTarvell, &CaminhoTarvell}}) {
        if (caminho->empty())
            continue;
        db::ConnectionParams p = params(*caminho, "", "");
        p.lockTimeout = opcoes.tempoEsperaBloqueio;
        conexao->configure(p);
    }
}

TConexao::~TConexao()
{
    // Out of the cancellation first: a stop must not cancel on an attachment
    // that is closing. Then BDColeta, then BDTarvell; each commits what is
    // open and detaches. Errors here are logged by the attachments, never raised.
    m_registroColeta.retira();
    m_registroTarvell.retira();
    devolve();
}

void TConexao::devolve() noexcept
{
    struct Par
    {
        db::Attachment& conexao;
        db::AttachmentPool*& pool;
        unsigned long bilhete;
    };
    for (Par par :
         {Par{BDColeta, m_poolColeta, m_bilheteColeta}, Par{BDTarvell, m_poolTarvell, m_bilheteTarvell}}) {
        try {
            if (par.pool) {
                // The request's final commit; an attachment whose commit
                // failed is marked broken and closed by the pool.
                try {
                    par.conexao.commit(db::Attachment::kPacienciaDoFechamento);
                } catch (const std::exception& e) {
                    log(e.what());
                }
                db::AttachmentPool* pool = std::exchange(par.pool, nullptr);
                pool->giveBack(std::move(par.conexao), par.bilhete);
            } else {
                par.conexao.close();
            }
        } catch (const std::exception& e) {
            log(e.what());
        }
    }
}

void TConexao::log(const std::string& mensagem)
{
    base::OperatorLog::instance().append(mensagem);
}

void TConexao::informaEnvio(const Request& r, std::string_view codigo, bool confirmado)
{
    if (m_status)
        m_status->envio(r.idconexao, codigo, confirmado);
}

std::vector<std::string> TConexao::Split(const std::string& texto, const std::string& separador)
{
    std::vector<std::string> campos;
    if (texto.empty())
        return campos;
    if (separador.empty())
        return {texto};
    const std::string t = texto + separador;
    size_t from = 0;
    for (;;) {
        const size_t at = t.find(separador, from);
        if (at == std::string::npos)
            break;
        campos.push_back(t.substr(from, at - from));
        from = at + separador.size();
    }
    return campos;
}

bool TConexao::enviaRetorno(const std::string& texto, ReplyChannel& Conexao)
{
    return enviaRetorno(texto, Conexao, texto);
}

bool TConexao::enviaRetorno(const std::string& texto, ReplyChannel& Conexao, const std::string& textoNoLog)
{
    log("Devolvendo:" + textoNoLog);
    Conexao.writeLine(texto);
    return true;
}

bool TConexao::ExecutaQuery(const db::Sql& statement, WorkingQuery& query, db::Attachment& conexao)
{
    return m_comandos->executa(conexao, statement, query.rows, query.active);
}

std::string TConexao::PTAB(const std::string& tabela, const std::string& campo, const db::Sql& condicao,
                           db::Attachment& conexao)
{
    return m_comandos->PTAB(tabela, campo, condicao, conexao, nullptr);
}

std::string TConexao::liberado(const Request& r)
{
    bool falhou = false;
    std::string valor = m_comandos->PTAB("SESSOESATIVAS", "LIBERADO",
                                         db::Sql("SES_ID = ?", {db::bare(r.idconexao)}), BDColeta, &falhou);
    // A lookup that failed says nothing about the handheld: answering it with
    // the refusal would tell a released handheld that it is not authorised.
    // The request ends as when the database cannot be opened.
    if (falhou)
        throw std::runtime_error("a permissão da sessão " + r.idconexao + " não pôde ser lida");
    return valor;
}

void TConexao::TrataTextoRecebidoANDROIDObj(const std::string& texto, ReplyChannel& Conexao,
                                            const std::string& EnderecoIP, const std::string& idconexao)
{
    log("Id da Conexão-->>>> : " + idconexao);
    Request r{texto, Conexao, EnderecoIP, idconexao, {}, {}};

    if (texto.compare(0, 4, "0000") == 0) {
        Conexao.writeLine("9999");
        return;
    }

    r.campos = Split(texto, std::string(1, STX));
    log(texto);
    if (r.campos.size() < 2)
        return;

    // Read again only when the session opening ran in between: otherwise the
    // answer cannot differ.
    std::string permissao = liberado(r);
    if (permissao.empty()) {
        aberturaDeSessao(r);
        permissao = liberado(r);
    }

    if (permissao != "S") {
        log("--->> SEM PERMISSÃO <<---");
        enviaRetorno(std::string("9998") + STX + "SEM PERMISSAO" + STX, Conexao);
        return;
    }
    log("TEM PERMISSAO");

    const std::string& codigo = r.campos[0];
    for (const Catalogo& c : kCatalogos)
        if (codigo == c.codigo)
            catalogo(r, c.sql, c.tabela);
    if (codigo == "4001")
        solicitaGenerator(r);
    if (codigo == "6001")
        gravaCarga(r);
    if (codigo == "6002")
        gravaColeta(r);
    if (codigo == "6003")
        gravaRastreamento(r);

    enviaRetorno(std::string("9999") + STX, Conexao);
}

} // namespace quelvor::protocol
