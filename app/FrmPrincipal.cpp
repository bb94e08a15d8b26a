#include "app/FrmPrincipal.h"

#include "app/ConfigFile.h"
#include "app/StandingConnections.h"
#include "base/OperatorLog.h"
#include "db/QueryHelpers.h"
#include "db/Sql.h"

#include <charconv>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace quelvor::app {
namespace {

// A number field holds a whole number and shows 0 when empty.
std::string campoNumerico(const std::string& texto)
{
    const std::string t = db::trimSql(texto);
    long long v = 0;
    const auto res = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || res.ec != std::errc() || res.ptr != t.data() + t.size())
        return "0";
    return std::to_string(v);
}

std::string loopbackHostName()
{
    return "localhost";
}

// Row 1 of PARAMETROS as it stands in the database.
struct Parametros
{
    bool linha = false; // the row exists
    std::string versao;
    std::string empresa;
};

const char* const kLeituraParametros =
    "SELECT FIRST 1 PAR_VERSAOAPK, PAR_EMPRESA FROM PARAMETROS WHERE PAR_ID = 1";

// Throws DbError when the database cannot be reached or read.
Parametros leParametros(db::Attachment& conexao)
{
    conexao.open();
    const db::ResultSet rs = conexao.select(db::Sql(kLeituraParametros));
    Parametros p;
    if (rs.empty() || rs.columns.size() < 2)
        return p;
    p.linha = true;
    p.versao = db::asText(rs.rows[0][0], rs.columns[0]);
    p.empresa = db::asText(rs.rows[0][1], rs.columns[1]);
    return p;
}

} // namespace

TFrmPrincipal::TFrmPrincipal(FrontEnd& frontEnd, base::ServiceState& state, server::ListenerControl& listener)
    : m_front(frontEnd), m_state(state), m_listener(listener)
{
}

TFrmPrincipal::~TFrmPrincipal() = default;

void TFrmPrincipal::log(const std::string& mensagem)
{
    base::log(mensagem);
}

void TFrmPrincipal::setSettings(const base::Settings& settings)
{
    m_settings = settings;
    m_state.settings.set(settings);
    m_front.showSettings(settings);
}

void TFrmPrincipal::FormCreate(const std::string& configPath)
{
    m_front.enableMainMenus(false);
    if (m_front.hasWindow())
        log("Interface criada");
    m_state.inicializousocket = false;
    m_state.connectedDevices = 0;
    m_contadorSincronizacao = 0;
    int n = 0;
    m_front.liberaopcoes(false);

    m_configPath = configPath;
    base::Settings s = m_settings;
    std::error_code unreadable; // a folder we may not look into counts as no file
    if (std::filesystem::exists(m_configPath, unreadable)) {
        const LoadResult loaded = loadConfig(m_configPath, s);
        for (const std::string& m : loaded.messages)
            log(m);
        n = s.edtTempoInicializacao;
    }
    s.edtTempoInicializacao = n;
    setSettings(s);
    log("Tempo para inicialização: " + std::to_string(n) + " segundos.");

    for (int i = 1; i <= n && !m_exitRequested; ++i) {
        m_front.setStatusPanel(2, std::to_string(i) + " / " + std::to_string(n));
        log("Aguardando " + std::to_string(i) + " de " + std::to_string(n));
        m_front.processPendingEvents();
        std::this_thread::sleep_for(m_second);
        m_front.processPendingEvents();
    }
    if (m_exitRequested)
        return;

    m_front.setStatusPanel(2, "");
    m_front.enableMainMenus(true);
    m_front.hideTaskbarEntry();
    I1Click();
}

void TFrmPrincipal::I1Click()
{
    if (m_running)
        encerraServico();
    else
        iniciaServico();
}

void TFrmPrincipal::iniciaServico()
{
    log("Iniciando tentativa de inicialização....");
    if (m_settings.edtPorta <= 0) {
        primeiraExecucao();
        return;
    }
    m_firstRunTaken = false;
    m_startFailed = false;
    std::string falha;
    // A synchronisation under way must not go on over what is set up here.
    ++m_geracaoConexoes;
    try {
        m_listener.deactivate();
        if (m_settings.ch_integratarvell) {
            falha = "Falha na conexão da base de dados com o Tarvell";
            configuraConexao(ConexaoTarvell, listaConexaoTarvell(m_settings));
        }
        falha = "Falha na conexão da base de dados das Coletas (Temp)";
        configuraConexao(ConexaoTemp, listaConexaoTemp(m_settings));
        falha = "Falha na conexão da base de dados das Coletas";
        configuraConexao(ConexaoColeta, listaConexaoColeta(m_settings));

        // A save writes these back; it must know whether they came from the
        // database or stand there only because the read failed.
        base::Settings s = m_settings;
        try {
            const Parametros p = leParametros(ConexaoColeta);
            s.edtVersaoCliente = p.versao;
            s.edtIDEmpresa = campoNumerico(p.empresa);
            m_parametrosDe = m_settings.EdtBaseColeta;
        } catch (const std::exception&) {
            // The lookups say why in the log, and yield the empty text.
            m_parametrosDe.reset();
            s.edtVersaoCliente = db::PTAB("PARAMETROS", "PAR_VERSAOAPK", "PAR_ID = 1", ConexaoColeta);
            s.edtIDEmpresa =
                campoNumerico(db::PTAB("PARAMETROS", "PAR_EMPRESA", "PAR_ID = 1", ConexaoColeta));
        }
        setSettings(s);

        gravaparespecial("INTEGRATARVELL", m_settings.ch_integratarvell ? "S" : "N");

        falha = "Falha na inicialização do Socket na porta " + std::to_string(m_settings.edtPorta);
        // A TCP port has 16 bits; a larger number would silently listen
        // somewhere else, so it fails this step instead.
        if (m_settings.edtPorta > 65535)
            throw std::out_of_range("porta fora do intervalo");
        m_listener.activate(m_settings.edtPorta);
        log("Servidor socket inicializado na porta " + std::to_string(m_listener.port()));
        m_state.status.servicoIniciado(m_listener.port());

        m_running = true;
        m_front.setRunningCheck(true);
        m_front.setIndicator(true);
    } catch (const std::exception&) {
        m_startFailed = true;
        ++m_geracaoConexoes;
        log(falha);
        for (db::Attachment* c : {&ConexaoTarvell, &ConexaoColeta}) {
            try {
                c->close();
            } catch (const std::exception&) {
            }
        }
        try {
            m_listener.deactivate();
        } catch (const std::exception&) {
        }
        m_state.status.servicoParado();
        m_front.openWindow();
    }
}

void TFrmPrincipal::primeiraExecucao()
{
    const std::string mensagem = "Necessário efetuar a configuração do sistema";
    m_front.showMessage(mensagem);
    if (m_front.hasWindow()) // without a window the box was this line
        log(mensagem);
    if (m_settings.EdtBaseColeta.empty()) {
        base::Settings s = m_settings;
        s.EdtBaseColeta = loopbackHostName() + ":" + programDirectory() + "COLETA.FDB";
        s.EdtUsuarioColeta = "KORVA";
        s.EdtSenhaColeta = "##738460";
        setSettings(s);
    }
    m_firstRunTaken = true;
    m_front.openWindow();
}

void TFrmPrincipal::encerraSocket()
{
    m_listener.disconnectAll();
    m_front.processPendingEvents();
    m_listener.deactivate();
}

void TFrmPrincipal::encerraServico()
{
    ++m_geracaoConexoes;
    encerraSocket();
    ConexaoTarvell.close();
    ConexaoColeta.close();
    ConexaoTemp.close();
    log("Serviços encerrados");
    m_state.status.servicoParado();
    m_front.setIndicator(false);
    m_running = false;
    m_front.setRunningCheck(false);
}

void TFrmPrincipal::FechaAplicacao()
{
    m_exitRequested = true;
    if (m_running) {
        I1Click();
        m_front.processPendingEvents();
    }
    FormDestroy();
}

void TFrmPrincipal::FormDestroy()
{
    m_listener.disconnectAll();
    m_listener.deactivate();
}

bool TFrmPrincipal::gravaparespecial(const std::string& nomeparametro, const std::string& valor)
{
    try {
        ConexaoColeta.open();
        ConexaoColeta.execute(
            db::Sql("UPDATE OR INSERT INTO PARAMETROSESPECIAIS(PAR_CAMPO, PAR_VALOR)VALUES(?,?)",
                    {db::text(nomeparametro), db::text(valor)}));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TFrmPrincipal::E1Click()
{
    log("Habilitado para alterar parametros");
    m_editing = true;
    m_front.setEditing(true);
    m_front.liberaopcoes(true);
}

void TFrmPrincipal::S1Click(const base::Settings& campos)
{
    if (campos.edtPorta == 0) {
        m_front.showMessage("Necessário configurar porta socket para conexão dos clientes");
        return;
    }
    if (!m_parametrosDe || *m_parametrosDe != campos.EdtBaseColeta) {
        // The version and the company in the fields never came from this
        // database (the first run, a failed start, another path typed in):
        // what it holds is shown first, and only a second save writes.
        db::Attachment conexao;
        conexao.configure(parametrosDaLista(listaConexaoColeta(campos)));
        const Parametros p = leParametros(conexao);
        m_parametrosDe = campos.EdtBaseColeta;
        if (p.linha && (p.versao != campos.edtVersaoCliente ||
                        campoNumerico(p.empresa) != campoNumerico(campos.edtIDEmpresa))) {
            base::Settings lidos = campos;
            lidos.edtVersaoCliente = p.versao;
            lidos.edtIDEmpresa = campoNumerico(p.empresa);
            setSettings(lidos);
            m_front.showMessage("Versão do cliente e ID da empresa lidos da base de dados das Coletas. "
                                "Confira e salve novamente.");
            return;
        }
    }
    if (db::trimSql(campos.edtVersaoCliente).empty()) {
        m_front.showMessage("Necessário informar versão do cliente");
        return;
    }
    if (campoNumerico(campos.edtIDEmpresa) == "0") {
        m_front.showMessage("Necessário informar ID da empresa");
        return;
    }
    setSettings(campos);
    saveConfig(m_configPath, campos);
    configuraConexao(ConexaoColeta, listaConexaoColeta(campos));
    ConexaoColeta.execute(
        db::Sql("UPDATE OR INSERT INTO PARAMETROS (PAR_ID,PAR_EMPRESA,PAR_VERSAOAPK)VALUES(1,?,?);",
                {db::text(campoNumerico(campos.edtIDEmpresa)), db::text(campos.edtVersaoCliente)}));

    m_editing = false;
    m_front.setEditing(false);
    log("Configuração Atualizada.");
    m_front.liberaopcoes(false);

    if (m_front.askOkCancel("Alterções exigem que o serviço seja Reiniciado.")) {
        if (m_running)
            I1Click();
        I1Click();
    }
}

} // namespace quelvor::app
