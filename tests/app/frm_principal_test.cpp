// The main window's logic without a window: start-up, the start and stop
// sequences, the special parameters and the saving of the configuration.
#include "app/ConfigFile.h"
#include "app/FrmPrincipal.h"
#include "app/Scramble.h"
#include "base/OperatorLog.h"
#include "base/TextConversion.h"
#include "db/DbError.h"
#include "sync/Sincronizacao.h"
#include "tests/support/FakeListener.h"
#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

#include <utility>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace quelvor;
using quelvor::test::TestDatabase;

namespace {

using test::FakeListener;

struct RecordingFront : app::FrontEnd
{
    std::vector<std::string> boxes;
    bool answerOk = false;
    int windowOpened = 0;
    bool indicatorGreen = false;
    bool checked = false;
    bool menusEnabled = true;
    bool fieldsEnabled = true;
    bool editing = false;
    std::vector<std::string> panel2;
    std::vector<bool> menuStates;
    void showMessage(const std::string& t) override { boxes.push_back(t); }
    bool askOkCancel(const std::string& t) override
    {
        boxes.push_back(t);
        return answerOk;
    }
    void showError(const std::string& t) override { boxes.push_back("error: " + t); }
    void openWindow() override { ++windowOpened; }
    void setIndicator(bool running) override { indicatorGreen = running; }
    void setRunningCheck(bool c) override { checked = c; }
    void enableMainMenus(bool e) override
    {
        menusEnabled = e;
        menuStates.push_back(e);
    }
    void liberaopcoes(bool f) override { fieldsEnabled = f; }
    void setEditing(bool e) override { editing = e; }
    void showSettings(const base::Settings&) override {}
    void setSyncBusy(bool) override {}
    void setStatusPanel(int panel, const std::string& text) override
    {
        if (panel == 2)
            panel2.push_back(text);
    }
    void hideTaskbarEntry() override {}
    // What the operator does while the core lets events run, once.
    std::function<void()> onEvents;
    void processPendingEvents() override
    {
        if (auto command = std::exchange(onEvents, nullptr))
            command();
    }
};

std::vector<std::string> messages()
{
    std::vector<std::string> out;
    for (const auto& l : base::OperatorLog::instance().drain())
        out.push_back(l.substr(l.find('-', 10) + 1));
    return out;
}

bool has(const std::vector<std::string>& v, const std::string& s)
{
    return std::find(v.begin(), v.end(), s) != v.end();
}

class FrmPrincipalTest : public ::testing::Test
{
protected:
    FrmPrincipalTest()
        : coleta(TestDatabase::Kind::Coleta), core(front, state, listener),
          dir(std::filesystem::temp_directory_path() / ("quelvor-frm-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(dir);
        coleta.execScript(
            "INSERT INTO PARAMETROS (PAR_ID, PAR_EMPRESA, PAR_VERSAOAPK) VALUES (1, '12', '3.1');");
        core.setSecondDuration(std::chrono::milliseconds(1));
        messages();
    }
    ~FrmPrincipalTest() override
    {
        core.FechaAplicacao();
        std::filesystem::remove_all(dir);
    }

    base::Settings configured(int port = 7010)
    {
        base::Settings s;
        s.edtPorta = port;
        s.EdtBaseColeta = coleta.connectionString();
        s.EdtUsuarioColeta = coleta.user();
        s.EdtSenhaColeta = coleta.password();
        return s;
    }
    std::string writeConfig(const base::Settings& s)
    {
        const std::string path = (dir / "ConfigQuelvorLeite.ini").string();
        app::saveConfig(path, s);
        return path;
    }

    TestDatabase coleta;
    RecordingFront front;
    FakeListener listener;
    base::ServiceState state;
    app::TFrmPrincipal core;
    std::filesystem::path dir;
};

} // namespace

TEST_F(FrmPrincipalTest, StartUpWaitsThenStarts)
{
    base::Settings s = configured();
    s.edtTempoInicializacao = 2;
    s.ch_integratarvell = false;
    state.connectedDevices = 5;
    core.FormCreate(writeConfig(s));

    const std::vector<std::string> expected = {"Interface criada",
                                               "Tempo para inicialização: 2 segundos.",
                                               "Aguardando 1 de 2",
                                               "Aguardando 2 de 2",
                                               "Iniciando tentativa de inicialização....",
                                               "Servidor socket inicializado na porta 7010"};
    EXPECT_EQ(messages(), expected);
    EXPECT_EQ(front.panel2, (std::vector<std::string>{"1 / 2", "2 / 2", ""}));
    EXPECT_EQ(front.menuStates, (std::vector<bool>{false, true}));
    EXPECT_FALSE(front.fieldsEnabled);
    EXPECT_EQ(state.connectedDevices, 0);
    EXPECT_TRUE(core.running());
    EXPECT_TRUE(front.checked);
    EXPECT_TRUE(front.indicatorGreen);
    EXPECT_EQ(front.windowOpened, 0);
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"deactivate", "activate 7010"}));
    // The parameters come from the database, the switch is recorded, the ERP left alone.
    EXPECT_EQ(core.settings().edtVersaoCliente, "3.1");
    EXPECT_EQ(core.settings().edtIDEmpresa, "12");
    EXPECT_EQ(state.settings.get(), core.settings()) << "connection threads see the same settings";
    EXPECT_EQ(
        coleta.queryText("SELECT PAR_VALOR FROM PARAMETROSESPECIAIS WHERE PAR_CAMPO = 'INTEGRATARVELL';"),
        "N");
    EXPECT_FALSE(core.ConexaoTarvell.connected());
    EXPECT_TRUE(core.ConexaoTemp.connected());
    EXPECT_TRUE(core.ConexaoColeta.connected());
    EXPECT_EQ(state.status.snapshot().servico, base::EstadoDoServico::EmExecucao);
    EXPECT_EQ(state.status.snapshot().porta, 7010);

    // The toggle stops, then starts again.
    core.I1Click();
    EXPECT_EQ(messages(), std::vector<std::string>{"Serviços encerrados"});
    EXPECT_EQ(state.status.snapshot().servico, base::EstadoDoServico::Parado);
    EXPECT_FALSE(core.running());
    EXPECT_FALSE(front.indicatorGreen);
    EXPECT_FALSE(front.checked);
    EXPECT_FALSE(core.ConexaoColeta.connected());
    core.I1Click();
    EXPECT_TRUE(core.running());
    EXPECT_TRUE(has(messages(), "Servidor socket inicializado na porta 7010"));
    EXPECT_EQ(state.status.snapshot().servico, base::EstadoDoServico::EmExecucao);
}

TEST_F(FrmPrincipalTest, TheIntegrationSwitchDecidesWhetherTheErpIsAttached)
{
    TestDatabase erp(TestDatabase::Kind::Tarvell);
    struct Case
    {
        const char* integra; // nullptr: no such key in the file
        bool erpAttached;
        const char* stored;
    };
    const Case cases[] = {{nullptr, true, "S"}, {"S", true, "S"}, {"s", false, "N"}, {"N", false, "N"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.integra ? c.integra : "(missing)");
        const std::string path = (dir / ("integra-" + std::to_string(&c - cases) + ".ini")).string();
        std::ofstream file(path);
        file << "[Socket]\nPorta=7010\n[Base Tarvell]\nBase=" << erp.connectionString()
             << "\nUsuario=" << base::toUtf8(app::EncriptUtf8(erp.user()))
             << "\nSenha=" << base::toUtf8(app::EncriptUtf8(erp.password())) << "\n";
        if (c.integra)
            file << "Integra=" << c.integra << "\n";
        file << "[Base Coleta]\nBase=" << coleta.connectionString()
             << "\nUsuario=" << base::toUtf8(app::EncriptUtf8(coleta.user()))
             << "\nSenha=" << base::toUtf8(app::EncriptUtf8(coleta.password())) << "\n";
        file.close();

        app::TFrmPrincipal fresh(front, state, listener);
        fresh.FormCreate(path);
        EXPECT_TRUE(fresh.running());
        EXPECT_EQ(fresh.ConexaoTarvell.connected(), c.erpAttached);
        EXPECT_EQ(
            coleta.queryText("SELECT PAR_VALOR FROM PARAMETROSESPECIAIS WHERE PAR_CAMPO = 'INTEGRATARVELL';"),
            c.stored);
        fresh.FechaAplicacao();
    }
}

TEST_F(FrmPrincipalTest, FirstRunWithoutConfiguration)
{
    core.FormCreate((dir / "missing.ini").string());
    EXPECT_TRUE(core.firstRunTaken());
    EXPECT_FALSE(core.running());
    EXPECT_EQ(front.boxes, std::vector<std::string>{"Necessário efetuar a configuração do sistema"});
    EXPECT_EQ(front.windowOpened, 1);
    EXPECT_TRUE(has(messages(), "Necessário efetuar a configuração do sistema"));
    EXPECT_EQ(core.settings().EdtBaseColeta, "localhost:" + app::programDirectory() + "COLETA.FDB");
    EXPECT_EQ(core.settings().EdtUsuarioColeta, "KORVA");
    EXPECT_EQ(core.settings().EdtSenhaColeta, "##738460");
    EXPECT_TRUE(listener.calls.empty());
}

TEST_F(FrmPrincipalTest, FirstRunKeepsAConfiguredPathAndTakesABadPortAsNotConfigured)
{
    const std::string path = (dir / "ConfigQuelvorLeite.ini").string();
    std::ofstream(path) << "[Socket]\nPorta=70x0\n[Base Coleta]\nBase=server:/data/C.FDB\n";
    core.FormCreate(path);
    EXPECT_TRUE(core.firstRunTaken());
    EXPECT_TRUE(front.menusEnabled) << "the program is not left half started";
    EXPECT_EQ(core.settings().EdtBaseColeta, "server:/data/C.FDB");
    EXPECT_EQ(core.settings().EdtUsuarioColeta, "");
    const auto log = messages();
    EXPECT_TRUE(
        std::any_of(log.begin(), log.end(), [](const std::string& l) { return l.find("70x0") != l.npos; }));
}

TEST_F(FrmPrincipalTest, AFailedStartNamesItsStep)
{
    struct Case
    {
        const char* name;
        std::function<void(base::Settings&, FakeListener&)> breakIt;
        const char* message;
    };
    const Case cases[] = {
        {"ERP unreachable",
         [](base::Settings& s, FakeListener&) {
             s.ch_integratarvell = true;
             s.EdtBaseTarvell = "localhost:/nonexistent/erp.fdb";
         },
         "Falha na conexão da base de dados com o Tarvell"},
        {"collection unreachable", [](base::Settings& s, FakeListener&) { s.EdtSenhaColeta = "wrong"; },
         "Falha na conexão da base de dados das Coletas (Temp)"},
        {"port taken", [](base::Settings&, FakeListener& l) { l.failActivate = true; },
         "Falha na inicialização do Socket na porta 7010"},
        {"port beyond 16 bits", [](base::Settings& s, FakeListener&) { s.edtPorta = 70000; },
         "Falha na inicialização do Socket na porta 70000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        base::Settings s = configured();
        listener.failActivate = false;
        c.breakIt(s, listener);
        core.setSettings(s);
        const int opened = front.windowOpened;
        messages();
        core.I1Click();
        const auto log = messages();
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[1], c.message);
        EXPECT_FALSE(core.running());
        EXPECT_FALSE(listener.active());
        EXPECT_EQ(state.status.snapshot().servico, base::EstadoDoServico::Parado);
        EXPECT_FALSE(core.ConexaoColeta.connected());
        EXPECT_FALSE(core.ConexaoTarvell.connected());
        EXPECT_EQ(front.windowOpened, opened + 1);
    }
}

// The indicator must not wait for a handheld's request to learn that the
// saved collection path does not open.
TEST_F(FrmPrincipalTest, AStartTellsTheStatusModelWhetherTheCollectionDatabaseOpens)
{
    using Base = base::StatusModel::Base;
    base::Settings s = configured();
    s.EdtSenhaColeta = "wrong";
    core.setSettings(s);
    core.I1Click();
    ASSERT_FALSE(core.running());
    base::EstadoDaBase coletaState = state.status.estadoDaBase(Base::Coleta);
    EXPECT_TRUE(coletaState.verificada);
    EXPECT_FALSE(coletaState.respondendo);
    EXPECT_FALSE(coletaState.ultimoErro.empty());

    // The ERP failing first says nothing of the collection database.
    s = configured();
    s.ch_integratarvell = true;
    s.EdtBaseTarvell = "localhost:/nonexistent/erp.fdb";
    core.setSettings(s);
    core.I1Click();
    ASSERT_FALSE(core.running());
    EXPECT_FALSE(state.status.estadoDaBase(Base::Coleta).respondendo);
    EXPECT_FALSE(state.status.estadoDaBase(Base::Tarvell).verificada);

    // A later step failing leaves the collection database answering.
    listener.failActivate = true;
    core.setSettings(configured());
    core.I1Click();
    ASSERT_FALSE(core.running());
    EXPECT_TRUE(state.status.estadoDaBase(Base::Coleta).respondendo);

    listener.failActivate = false;
    core.I1Click();
    ASSERT_TRUE(core.running());
    coletaState = state.status.estadoDaBase(Base::Coleta);
    EXPECT_TRUE(coletaState.verificada);
    EXPECT_TRUE(coletaState.respondendo);
}

TEST_F(FrmPrincipalTest, SpecialParameters)
{
    core.setSettings(configured());
    core.ConexaoColeta.configure({coleta.connectionString(), coleta.user(), coleta.password(), "WIN1252"});
    EXPECT_TRUE(core.gravaparespecial("INTEGRATARVELL", "S"));
    EXPECT_TRUE(core.gravaparespecial("INTEGRATARVELL", "S"));
    EXPECT_TRUE(core.gravaparespecial("INTEGRATARVELL", "N"));
    EXPECT_TRUE(core.gravaparespecial("D'AVILA", "it's"));
    EXPECT_EQ(coleta.queryText("SELECT COUNT(*) || PAR_VALOR FROM PARAMETROSESPECIAIS "
                               "WHERE PAR_CAMPO = 'INTEGRATARVELL' GROUP BY PAR_VALOR;"),
              "1N");
    EXPECT_EQ(coleta.queryText("SELECT PAR_VALOR FROM PARAMETROSESPECIAIS WHERE PAR_CAMPO = 'D''AVILA';"),
              "it's");
    messages();
    core.ConexaoColeta.configure({"localhost:/nonexistent/c.fdb", "KORVA", "x", "WIN1252"});
    EXPECT_FALSE(core.gravaparespecial("INTEGRATARVELL", "S"));
    EXPECT_TRUE(messages().empty());
}

TEST_F(FrmPrincipalTest, SavingTheConfiguration)
{
    const std::string path = writeConfig(configured());
    core.FormCreate(path);
    ASSERT_TRUE(core.running());
    core.E1Click();
    EXPECT_TRUE(front.editing);
    EXPECT_TRUE(front.fieldsEnabled);
    messages();

    base::Settings s = core.settings();
    s.edtPorta = 0;
    core.S1Click(s);
    s.edtPorta = 7011;
    s.edtVersaoCliente = "   ";
    core.S1Click(s);
    s.edtVersaoCliente = " 4.0'beta ";
    for (const char* empresa : {"", "0"}) {
        s.edtIDEmpresa = empresa;
        core.S1Click(s);
    }
    EXPECT_EQ(front.boxes, (std::vector<std::string>{
                               "Necessário configurar porta socket para conexão dos clientes",
                               "Necessário informar versão do cliente", "Necessário informar ID da empresa",
                               "Necessário informar ID da empresa"}));
    EXPECT_TRUE(front.editing);
    EXPECT_EQ(coleta.queryText("SELECT PAR_VERSAOAPK || PAR_EMPRESA FROM PARAMETROS;"), "3.112");

    // Cancel: saved, but the service keeps running on the old port.
    s.edtIDEmpresa = "34";
    core.S1Click(s);
    EXPECT_FALSE(front.editing);
    EXPECT_FALSE(front.fieldsEnabled);
    EXPECT_EQ(front.boxes.back(), "Alterções exigem que o serviço seja Reiniciado.");
    EXPECT_EQ(coleta.queryText("SELECT '[' || PAR_VERSAOAPK || ']' || PAR_EMPRESA FROM PARAMETROS;"),
              "[ 4.0'beta ]34");
    base::Settings reread;
    app::loadConfig(path, reread);
    EXPECT_EQ(reread.edtPorta, 7011);
    EXPECT_EQ(listener.heldPort, 7010);
    EXPECT_TRUE(has(messages(), "Configuração Atualizada."));

    // OK: stop, then start on the new port.
    front.answerOk = true;
    core.E1Click();
    core.S1Click(s);
    const auto log = messages();
    EXPECT_TRUE(has(log, "Serviços encerrados"));
    EXPECT_TRUE(has(log, "Servidor socket inicializado na porta 7011"));
    EXPECT_EQ(core.settings().edtVersaoCliente, " 4.0'beta ") << "read back as typed";
}

// What the operator may do while a synchronisation hands control back: a stop
// or a save with the restart confirmed closes and reopens the connections the
// run works on, and the run ends with an error there; a save whose restart is
// cancelled leaves them alone, and the run goes on to its end.
TEST_F(FrmPrincipalTest, AStopOrARestartDuringASynchronisationEndsIt)
{
    TestDatabase erp(TestDatabase::Kind::Tarvell);
    erp.execScript("INSERT INTO ROTAS (ROT_CODIGO, ROT_DESCRICAO) VALUES (1, 'Centro');\n"
                   "INSERT INTO ROTAS (ROT_CODIGO, ROT_DESCRICAO) VALUES (2, 'Norte');\n"
                   "INSERT INTO ROTAS (ROT_CODIGO, ROT_DESCRICAO) VALUES (3, 'Serra');");
    base::Settings s = configured();
    s.ch_integratarvell = true;
    s.EdtBaseTarvell = erp.connectionString();
    s.EdtUsuarioTarvell = erp.user();
    s.EdtSenhaTarvell = erp.password();
    core.FormCreate(writeConfig(s));
    ASSERT_TRUE(core.running());
    sync::Sincronizacao sincronizacao(core);
    sincronizacao.setPausaPorLinha(std::chrono::milliseconds(0));

    struct Case
    {
        const char* what;
        std::function<void()> operatorHand;
        bool runEnds;
    };
    const Case cases[] = {
        {"stop", [&] { core.I1Click(); }, false},
        {"save, restart confirmed",
         [&] {
             front.answerOk = true;
             core.E1Click();
             core.S1Click(core.settings());
         },
         false},
        {"save, restart cancelled",
         [&] {
             front.answerOk = false;
             core.E1Click();
             core.S1Click(core.settings());
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!core.running())
            core.I1Click();
        coleta.execScript("DELETE FROM ROTAS;");
        messages();
        front.onEvents = c.operatorHand; // at the first route

        if (c.runEnds) {
            EXPECT_NO_THROW(sincronizacao.S2Click());
            EXPECT_EQ(coleta.queryText("SELECT COUNT(*) FROM ROTAS;"), "3");
        } else {
            EXPECT_THROW(sincronizacao.S2Click(), db::DbError);
            EXPECT_EQ(coleta.queryText("SELECT COUNT(*) FROM ROTAS;"), "0");
        }
        const std::vector<std::string> log = messages();
        EXPECT_EQ(has(log, "Concluindo processo de busca por novos dados"), c.runEnds);
        EXPECT_EQ(has(log, "Processo de busca por novos dados interrompido: Sincronização interrompida: o "
                           "serviço foi encerrado ou reiniciado durante a execução."),
                  !c.runEnds);
        EXPECT_FALSE(sincronizacao.ocupado());
        // The run as the status page and the window see it.
        const base::StatusSnapshot status = state.status.snapshot();
        ASSERT_FALSE(status.sincronizacoes.empty());
        EXPECT_FALSE(status.sincronizacoes.back().emAndamento);
        EXPECT_EQ(status.sincronizacoes.back().sucesso, c.runEnds);
    }
    core.I1Click(); // lets the ERP database go before it is dropped
}

// The version and the company are written back only once they were read from
// the collection database that the fields name. Until then a save reads them,
// shows them and writes nothing, neither PARAMETROS nor the file; the next
// save writes what the operator then leaves in the fields.
TEST_F(FrmPrincipalTest, ASaveWritesNoParametersItNeverRead)
{
    TestDatabase outra(TestDatabase::Kind::Coleta);
    outra.execScript("INSERT INTO PARAMETROS (PAR_ID, PAR_EMPRESA, PAR_VERSAOAPK) VALUES (1, '77', '5.0');");
    TestDatabase vazia(TestDatabase::Kind::Coleta); // no row in PARAMETROS yet
    const std::string lidos =
        "Versão do cliente e ID da empresa lidos da base de dados das Coletas. Confira e salve novamente.";
    const std::string path = (dir / "ConfigQuelvorLeite.ini").string();
    auto naBase = [](base::Settings s, const TestDatabase& d) {
        s.EdtBaseColeta = d.connectionString();
        s.EdtUsuarioColeta = d.user();
        s.EdtSenhaColeta = d.password();
        return s;
    };
    auto fileText = [&] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    using Core = app::TFrmPrincipal;

    struct Case
    {
        const char* what;
        std::function<void(Core&)> before; // how the program got where the operator saves
        std::function<base::Settings(Core&)> typed;
        const TestDatabase* target;
        bool readFirst;           // the first save only shows what the database holds
        const char* shownCompany; // then in the fields
        const char* shownVersion;
        const char* storedAtLast; // PAR_VERSAOAPK || PAR_EMPRESA after the last save
    };
    const Case cases[] = {
        {"first run, the operator types the path only", [&](Core& c) { c.FormCreate(path); },
         [&](Core& c) {
             base::Settings s = naBase(c.settings(), coleta);
             s.edtPorta = 7010;
             return s;
         },
         &coleta, true, "12", "3.1", "3.112"},
        {"failed start, the password mended",
         [&](Core& c) {
             base::Settings s = configured();
             s.EdtSenhaColeta = "errada";
             c.FormCreate(writeConfig(s));
             EXPECT_TRUE(c.startFailed());
         },
         [&](Core&) { return configured(); }, &coleta, true, "12", "3.1", "3.112"},
        {"a running service, another database typed in",
         [&](Core& c) { c.FormCreate(writeConfig(configured())); },
         [&](Core& c) { return naBase(c.settings(), outra); }, &outra, true, "77", "5.0", "5.077"},
        {"first run, the fields already as the database holds them", [&](Core& c) { c.FormCreate(path); },
         [&](Core&) {
             base::Settings s = configured();
             s.edtVersaoCliente = "3.1";
             s.edtIDEmpresa = "12";
             return s;
         },
         &coleta, false, "", "", "3.112"},
        {"first run, a database without parameters", [&](Core& c) { c.FormCreate(path); },
         [&](Core&) {
             base::Settings s = naBase(configured(), vazia);
             s.edtVersaoCliente = "1.0";
             s.edtIDEmpresa = "9";
             return s;
         },
         &vazia, false, "", "", "1.09"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(path);
        front.answerOk = false;
        Core fresh(front, state, listener);
        fresh.setSecondDuration(std::chrono::milliseconds(1));
        c.before(fresh);
        const std::string fileBefore = fileText();
        front.boxes.clear();
        fresh.E1Click();

        base::Settings s = c.typed(fresh);
        fresh.S1Click(s);

        if (c.readFirst) {
            EXPECT_EQ(front.boxes, std::vector<std::string>{lidos});
            EXPECT_EQ(fresh.settings().edtIDEmpresa, c.shownCompany);
            EXPECT_EQ(fresh.settings().edtVersaoCliente, c.shownVersion);
            EXPECT_TRUE(front.editing) << "nothing saved yet";
            EXPECT_EQ(fileText(), fileBefore) << "the file is not written either";
            EXPECT_EQ(coleta.queryText("SELECT PAR_VERSAOAPK || PAR_EMPRESA FROM PARAMETROS;"), "3.112");
            // The operator checks what is shown and saves again.
            s.edtIDEmpresa = fresh.settings().edtIDEmpresa;
            s.edtVersaoCliente = fresh.settings().edtVersaoCliente;
            front.boxes.clear();
            fresh.S1Click(s);
        }
        EXPECT_EQ(front.boxes, std::vector<std::string>{"Alterções exigem que o serviço seja Reiniciado."});
        EXPECT_FALSE(front.editing);
        EXPECT_EQ(c.target->queryText("SELECT PAR_VERSAOAPK || PAR_EMPRESA FROM PARAMETROS;"),
                  c.storedAtLast);
        if (c.target != &coleta) {
            EXPECT_EQ(coleta.queryText("SELECT PAR_VERSAOAPK || PAR_EMPRESA FROM PARAMETROS;"), "3.112");
        }
        base::Settings saved;
        EXPECT_TRUE(app::loadConfig(path, saved).fileFound);
        EXPECT_EQ(saved.EdtBaseColeta, c.target->connectionString());
        fresh.FechaAplicacao(); // lets the databases go before they are dropped
    }
}

// A save whose collection database cannot be read writes nothing: the error
// reaches the general error handling and editing goes on.
TEST_F(FrmPrincipalTest, ASaveThatCannotReadTheParametersWritesNothing)
{
    const std::string path = (dir / "ConfigQuelvorLeite.ini").string();
    core.FormCreate(path); // first run
    core.E1Click();
    base::Settings s = configured();
    s.EdtSenhaColeta = "errada";
    s.edtVersaoCliente = "3.1";
    s.edtIDEmpresa = "12";
    EXPECT_THROW(core.S1Click(s), std::exception);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(front.editing);
}
