// The operator window driving the real core: start-up, the service toggle,
// editing and saving the configuration, closing and exiting.
#include "tests/ui/WindowFixture.h"

#include "server/TcpListener.h"

#include <QRegularExpression>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace quelvor;
using namespace quelvor::test;

namespace {

// A handheld that only connects, and hangs up when it goes.
class Handheld
{
public:
    explicit Handheld(int port) : m_fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("cannot connect to the listener");
    }
    ~Handheld() { ::close(m_fd); }
    Handheld(const Handheld&) = delete;
    Handheld& operator=(const Handheld&) = delete;

private:
    int m_fd;
};

struct Sample
{
    QString panel2;
    bool menusEnabled;
    bool visible;
};

class StartUpTest : public WindowTest
{
protected:
    // Samples what the operator would see every time the start-up lets events
    // run: the countdown, the menus, the window.
    std::vector<Sample> startWatching()
    {
        std::vector<Sample> samples;
        QTimer sampler;
        sampler.setInterval(0);
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            samples.push_back({window->statusPanel(2),
                               menuEnabled("a1") && menuEnabled("S4") && menuEnabled("A2"),
                               window->isVisible()});
        });
        sampler.start();
        start();
        return samples;
    }
};

TEST_F(StartUpTest, WaitsCountingDownWithMenusDisabledThenStartsHidden)
{
    useDatabase();
    writeConfig(7010, 2);

    const std::vector<Sample> samples = startWatching();

    QStringList countdown;
    for (const Sample& s : samples) {
        EXPECT_FALSE(s.visible) << "the window stays behind the notification-area icon";
        if (!s.panel2.isEmpty()) {
            EXPECT_FALSE(s.menusEnabled) << "menus during the wait, panel 2 at " << s.panel2.toStdString();
            if (countdown.isEmpty() || countdown.back() != s.panel2)
                countdown << s.panel2;
        }
    }
    EXPECT_EQ(countdown, (QStringList{"1 / 2", "2 / 2"}));

    EXPECT_EQ(window->statusPanel(2), "");
    EXPECT_TRUE(menuEnabled("a1") && menuEnabled("S4") && menuEnabled("A2"));
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(action("I1")->isChecked());
    EXPECT_EQ(indicator(), kGreen);
    EXPECT_TRUE(listener.isActive);
    EXPECT_EQ(listener.heldPort, 7010);
    EXPECT_TRUE(boxes.empty());

    // The fields show the file and what the start read from PARAMETROS, locked.
    EXPECT_EQ(field("edtPorta")->text(), "7010");
    EXPECT_EQ(field("edtTempoInicializacao")->text(), "2");
    EXPECT_EQ(field("edtVersaoCliente")->text(), "3.1");
    EXPECT_EQ(field("edtIDEmpresa")->text(), "12");
    EXPECT_EQ(field("EdtBaseColeta")->text().toStdString(), coleta->connectionString());
    for (const char* name : kSettingsFields)
        EXPECT_FALSE(find<QWidget>(name)->isEnabled()) << name;

    EXPECT_EQ(logMessages(),
              (QStringList{"Interface criada", "Tempo para inicialização: 2 segundos.", "Aguardando 1 de 2",
                           "Aguardando 2 de 2", "Iniciando tentativa de inicialização....",
                           "Servidor socket inicializado na porta 7010"}));
}

TEST_F(StartUpTest, AVersionLongerThanWhatCanBeTypedIsShownAndSavedWhole)
{
    useDatabase();
    coleta->execScript("UPDATE PARAMETROS SET PAR_VERSAOAPK = '2026.12.09-rc1' WHERE PAR_ID = 1;");
    writeConfig(7010, 0);
    start();
    EXPECT_EQ(field("edtVersaoCliente")->text(), "2026.12.09-rc1");
    EXPECT_EQ(window->campos().edtVersaoCliente, "2026.12.09-rc1");
}

TEST_F(StartUpTest, FirstRunAsksForConfigurationAndShowsDefaults)
{
    // No configuration file at all.
    start();

    EXPECT_EQ(boxTexts(BoxKind::Information),
              std::vector<std::string>{"Necessário efetuar a configuração do sistema"});
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(field("EdtBaseColeta")->text().toStdString(),
              "localhost:" + app::programDirectory() + "COLETA.FDB");
    EXPECT_EQ(field("EdtUsuarioColeta")->text(), "KORVA");
    EXPECT_EQ(field("EdtSenhaColeta")->text(), "##738460");
    EXPECT_EQ(field("EdtSenhaColeta")->displayText(), "########");
    for (const char* number : {"edtPorta", "edtIDEmpresa", "edtTempoInicializacao"})
        EXPECT_EQ(field(number)->text(), "0") << number;
    EXPECT_FALSE(action("I1")->isChecked());
    EXPECT_EQ(indicator(), kRed);
    EXPECT_EQ(listener.activations, 0);
    EXPECT_TRUE(menuEnabled("a1"));
    EXPECT_TRUE(logMessages().contains("Necessário efetuar a configuração do sistema"));
}

TEST_F(StartUpTest, FailedStartOpensTheWindowStopped)
{
    useDatabase();
    writeConfig(7010, 0);
    listener.failActivate = true;

    start();

    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(action("I1")->isChecked());
    EXPECT_EQ(indicator(), kRed);
    EXPECT_TRUE(logMessages().contains("Falha na inicialização do Socket na porta 7010"));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(StartUpTest, WithoutNotificationAreaTheWindowIsShownFromTheStart)
{
    build(false);
    useDatabase();
    writeConfig(7010, 1);

    const std::vector<Sample> samples = startWatching();

    int duringWait = 0;
    for (const Sample& s : samples)
        if (!s.panel2.isEmpty()) {
            ++duringWait;
            EXPECT_TRUE(s.visible) << "at " << s.panel2.toStdString();
        }
    EXPECT_GT(duringWait, 0);
    EXPECT_TRUE(action("I1")->isChecked());
}

TEST_F(StartUpTest, ExitDuringTheWaitEndsItWithoutStarting)
{
    useDatabase();
    writeConfig(7010, 50);
    QTimer operatorHand;
    operatorHand.setInterval(0);
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        if (window->statusPanel(2) == "2 / 50") {
            operatorHand.stop();
            action("pmnuiExit")->trigger();
        }
    });
    operatorHand.start();

    start();

    EXPECT_TRUE(window->exited());
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(listener.activations, 0);
    const QStringList log = logMessages();
    EXPECT_FALSE(log.contains("Aguardando 3 de 50"));
    EXPECT_FALSE(log.contains("Iniciando tentativa de inicialização...."));
}

class ServiceTest : public WindowTest
{
protected:
    ServiceTest()
    {
        useDatabase();
        writeConfig(7010, 0);
        start();
    }
};

TEST_F(ServiceTest, InicializadoStopsAndStartsTheService)
{
    ASSERT_TRUE(action("I1")->isChecked());

    action("I1")->trigger();
    EXPECT_FALSE(action("I1")->isChecked());
    EXPECT_EQ(indicator(), kRed);
    EXPECT_FALSE(listener.isActive);
    EXPECT_EQ(logMessages().back(), "Serviços encerrados");

    action("I1")->trigger();
    EXPECT_TRUE(action("I1")->isChecked());
    EXPECT_EQ(indicator(), kGreen);
    EXPECT_TRUE(listener.isActive);
    EXPECT_EQ(logMessages().back(), "Servidor socket inicializado na porta 7010");
}

TEST_F(ServiceTest, ExitStopsTheServiceAndEndsWithZero)
{
    for (const char* item : {"S3", "pmnuiExit"}) {
        SCOPED_TRACE(item);
        build(true);
        start();
        ASSERT_TRUE(action("I1")->isChecked());
        exitCode.reset();

        action(item)->trigger();

        EXPECT_EQ(exitCode, 0);
        EXPECT_TRUE(window->exited());
        EXPECT_FALSE(listener.isActive);
        EXPECT_TRUE(logMessages().contains("Serviços encerrados"));
    }
}

TEST_F(ServiceTest, SynchronisationFromMenuAndTimerWithErrorsShown)
{
    action("S2")->trigger();
    EXPECT_EQ(syncRuns, 1);
    EXPECT_FALSE(action("S2")->isChecked()) << "the check mark is the run's busy mark, not the click's";

    syncError = "Falha na leitura do Tarvell";
    find<QTimer>("Timer2")->setInterval(10);
    ASSERT_TRUE(pumpUntil([&] { return syncRuns >= 2; }));
    find<QTimer>("Timer2")->stop();
    EXPECT_EQ(boxTexts(BoxKind::Error), std::vector<std::string>{"Falha na leitura do Tarvell"});
}

TEST_F(ServiceTest, InicializadoDuringASynchronisationStopsTheServiceAtOnce)
{
    bool runningAfterClick = true;
    duringSync = [&] {
        action("I1")->trigger();
        runningAfterClick = core->running();
    };
    action("S2")->trigger();
    EXPECT_FALSE(runningAfterClick) << "the stop is not held back until a long run ends";
    EXPECT_FALSE(action("I1")->isChecked());
    EXPECT_FALSE(listener.isActive);

    // Other commands still wait for the command under way.
    duringSync = [&] {
        action("E1")->trigger();
        action("S3")->trigger();
        runningAfterClick = window->exited();
    };
    action("S2")->trigger();
    EXPECT_FALSE(runningAfterClick) << "the exit waits for the run";
    EXPECT_TRUE(window->exited());
}

TEST_F(ServiceTest, StatusBarShowsClockAndConnectedHandhelds)
{
    // The handhelds' real listener counts the connections that the panel shows.
    server::IdTCPServer server(state);
    server.activate(0);
    find<QTimer>("Timer1")->setInterval(10);

    std::vector<std::unique_ptr<Handheld>> handhelds;
    for (int i = 0; i < 2; ++i)
        handhelds.push_back(std::make_unique<Handheld>(server.port()));
    EXPECT_TRUE(pumpUntil([&] { return window->statusPanel(1) == "Usuários Conectados: 2"; }))
        << window->statusPanel(1).toStdString();

    handhelds.pop_back();
    EXPECT_TRUE(pumpUntil([&] { return window->statusPanel(1) == "Usuários Conectados: 1"; }))
        << window->statusPanel(1).toStdString();

    EXPECT_TRUE(
        QRegularExpression(R"(^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d$)").match(window->statusPanel(0)).hasMatch())
        << window->statusPanel(0).toStdString();
    handhelds.clear();
    server.deactivate();
}

class EditingTest : public WindowTest
{
protected:
    // The first run: nothing configured, the window open for the operator.
    EditingTest() { start(); }

    bool editingState() const
    {
        bool fieldsEnabled = true;
        for (const char* name : kSettingsFields)
            fieldsEnabled = fieldsEnabled && find<QWidget>(name)->isEnabled();
        const bool menus = !action("E1")->isEnabled() && action("S1")->isEnabled();
        EXPECT_EQ(fieldsEnabled, menus) << "the fields and the menus disagree";
        return fieldsEnabled && menus;
    }
    bool lockedState() const
    {
        for (const char* name : kSettingsFields)
            if (find<QWidget>(name)->isEnabled())
                return false;
        return action("E1")->isEnabled() && !action("S1")->isEnabled();
    }
};

TEST_F(EditingTest, EditUnlocksFieldsAndTypingChangesTheLiveSettings)
{
    EXPECT_TRUE(lockedState());
    typeInto(field("edtVersaoCliente"), "9.9");
    EXPECT_EQ(field("edtVersaoCliente")->text(), "") << "a locked field takes no typing";

    action("E1")->trigger();
    EXPECT_TRUE(editingState());
    EXPECT_FALSE(find<QWidget>("Edit7")->isEnabled());
    EXPECT_EQ(logMessages().back(), "Habilitado para alterar parametros");

    typeInto(field("edtPorta"), "70a10");
    typeInto(field("edtVersaoCliente"), "1.2.3.4.5.6.7");
    typeInto(field("edtIDEmpresa"), "");
    typeInto(field("EdtBaseTarvell"), "erp:/dados/TARVELL.FDB");
    find<QCheckBox>("ch_integratarvell")->click();

    EXPECT_EQ(field("edtPorta")->text(), "7010") << "only digits go into a number field";
    EXPECT_EQ(field("edtVersaoCliente")->text(), "1.2.3.4.5.") << "ten characters at most";
    EXPECT_EQ(field("edtIDEmpresa")->text(), "0") << "an empty number field shows 0";

    // What the connection threads read for the next request.
    const base::Settings live = state.settings.get();
    EXPECT_EQ(live.edtPorta, 7010);
    EXPECT_EQ(live.edtVersaoCliente, "1.2.3.4.5.");
    EXPECT_EQ(live.edtIDEmpresa, "0");
    EXPECT_EQ(live.EdtBaseTarvell, "erp:/dados/TARVELL.FDB");
    EXPECT_TRUE(live.ch_integratarvell);
    EXPECT_EQ(live.EdtUsuarioColeta, "KORVA") << "untouched fields keep their values";
    EXPECT_EQ(core->settings(), live);
}

// Keys as the operator presses them, the caret wherever the last key left
// it (a click put it at the end): '\b' is Backspace, '<' is Home, anything
// else is typed.
void pressKeys(QLineEdit* edit, const QString& keys)
{
    QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(edit, &in);
    for (const QChar c : keys) {
        const int key = c == u'\b' ? Qt::Key_Backspace : c == u'<' ? Qt::Key_Home : 0;
        const QString text = key ? QString() : QString(c);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(edit, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QApplication::sendEvent(edit, &release);
    }
}

// A number field that shows the 0 of an empty field takes what is typed in
// its place, wherever the caret stands; any other number is typed into.
TEST_F(EditingTest, TypingIntoTheZeroOfAnEmptyNumberFieldReplacesIt)
{
    struct Case
    {
        const char* field;
        const char* before;
        const char* keys;
        const char* shown;
    };
    const Case cases[] = {
        {"edtIDEmpresa", "12", "\b\b123456789", "123456789"}, // cleared: it shows 0 at once
        {"edtIDEmpresa", "0", "<7", "7"},
        {"edtPorta", "0", "-5", "-5"},
        {"edtTempoInicializacao", "0", "30", "30"},
        {"edtTempoInicializacao", "4", "0", "40"},
        {"edtPorta", "70", "<1", "170"},
    };
    action("E1")->trigger();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " '" + c.before + "' + '" + c.keys + "'");
        typeInto(field(c.field), c.before);
        ASSERT_EQ(field(c.field)->text(), c.before);
        field(c.field)->end(false);

        pressKeys(field(c.field), c.keys);

        EXPECT_EQ(field(c.field)->text(), c.shown);
        const base::Settings live = state.settings.get();
        const std::string value = std::string(c.field) == "edtIDEmpresa" ? live.edtIDEmpresa
                                  : std::string(c.field) == "edtPorta"
                                      ? std::to_string(live.edtPorta)
                                      : std::to_string(live.edtTempoInicializacao);
        EXPECT_EQ(value, c.shown) << "what the next request and the save use";
    }
}

TEST_F(EditingTest, SaveRefusalsKeepEditingAndWriteNothing)
{
    struct Case
    {
        const char* port;
        const char* version;
        const char* company;
        const char* message;
    };
    const Case cases[] = {
        {"0", "3.1", "12", "Necessário configurar porta socket para conexão dos clientes"},
        {"", "3.1", "12", "Necessário configurar porta socket para conexão dos clientes"},
        {"7010", "   ", "12", "Necessário informar versão do cliente"},
        {"7010", "", "12", "Necessário informar versão do cliente"},
        {"7010", "3.1", "0", "Necessário informar ID da empresa"},
        {"7010", "3.1", "", "Necessário informar ID da empresa"},
    };
    useDatabase();
    action("E1")->trigger();
    typeInto(field("EdtBaseColeta"), QString::fromStdString(coleta->connectionString()));
    typeInto(field("EdtUsuarioColeta"), QString::fromStdString(coleta->user()));
    typeInto(field("EdtSenhaColeta"), QString::fromStdString(coleta->password()));
    // What PARAMETROS holds is shown first (see below); the refusals follow.
    typeInto(field("edtPorta"), "7010");
    action("S1")->trigger();
    ASSERT_EQ(field("edtIDEmpresa")->text(), "12");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("port '") + c.port + "', version '" + c.version + "', company '" +
                     c.company + "'");
        typeInto(field("edtPorta"), c.port);
        typeInto(field("edtVersaoCliente"), c.version);
        typeInto(field("edtIDEmpresa"), c.company);
        boxes.clear();

        action("S1")->trigger();

        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].kind, BoxKind::Information);
        EXPECT_EQ(boxes[0].text, c.message);
        EXPECT_TRUE(editingState());
        EXPECT_FALSE(std::filesystem::exists(configPath));
        EXPECT_EQ(coleta->queryText("SELECT PAR_VERSAOAPK || '/' || PAR_EMPRESA FROM PARAMETROS;"), "3.1/12");
    }
}

// The first run never read PARAMETROS: the first save shows what the database
// holds, in place of the 0 and the empty version, and writes nothing; once the
// operator has seen it, a save writes what the fields then hold.
TEST_F(EditingTest, TheFirstSaveOfAFirstRunShowsTheParametersFirst)
{
    useDatabase();
    action("E1")->trigger();
    typeInto(field("EdtBaseColeta"), QString::fromStdString(coleta->connectionString()));
    typeInto(field("EdtUsuarioColeta"), QString::fromStdString(coleta->user()));
    typeInto(field("EdtSenhaColeta"), QString::fromStdString(coleta->password()));
    typeInto(field("edtPorta"), "7010");
    ASSERT_EQ(field("edtIDEmpresa")->text(), "0");
    ASSERT_EQ(field("edtVersaoCliente")->text(), "");
    boxes.clear();

    action("S1")->trigger();

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, BoxKind::Information);
    EXPECT_EQ(
        boxes[0].text,
        "Versão do cliente e ID da empresa lidos da base de dados das Coletas. Confira e salve novamente.");
    EXPECT_EQ(field("edtIDEmpresa")->text(), "12");
    EXPECT_EQ(field("edtVersaoCliente")->text(), "3.1");
    EXPECT_TRUE(editingState());
    EXPECT_FALSE(std::filesystem::exists(configPath));

    answerOk = false;
    boxes.clear();
    action("S1")->trigger();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Alterções exigem que o serviço seja Reiniciado.");
    EXPECT_TRUE(lockedState());
    EXPECT_TRUE(std::filesystem::exists(configPath));
    EXPECT_EQ(coleta->queryText("SELECT PAR_VERSAOAPK || '/' || PAR_EMPRESA FROM PARAMETROS;"), "3.1/12");
}

TEST_F(EditingTest, SaveWritesFileAndParametersThenRestartsOnlyOnOk)
{
    useDatabase();
    for (const bool ok : {false, true}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        answerOk = ok;
        boxes.clear();
        std::filesystem::remove(configPath);
        const std::string version = ok ? " 2.0'b " : "d'Oeste";
        const std::string company = ok ? "34" : "56";

        action("E1")->trigger();
        typeInto(field("EdtBaseColeta"), QString::fromStdString(coleta->connectionString()));
        typeInto(field("EdtUsuarioColeta"), QString::fromStdString(coleta->user()));
        typeInto(field("EdtSenhaColeta"), QString::fromStdString(coleta->password()));
        if (!ok) {
            // The first save of the first run only shows what PARAMETROS holds.
            typeInto(field("edtPorta"), "7010");
            action("S1")->trigger();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(field("edtIDEmpresa")->text(), "12");
            boxes.clear();
        }
        typeInto(field("edtPorta"), "7010");
        typeInto(field("edtVersaoCliente"), QString::fromStdString(version));
        typeInto(field("edtIDEmpresa"), QString::fromStdString(company));
        typeInto(field("edtTempoInicializacao"), "3");

        action("S1")->trigger();

        ASSERT_EQ(boxes.size(), 1u) << boxes.front().text;
        EXPECT_EQ(boxes[0].kind, BoxKind::Warning);
        EXPECT_EQ(boxes[0].text, "Alterções exigem que o serviço seja Reiniciado.");
        EXPECT_TRUE(lockedState());
        EXPECT_TRUE(logMessages().contains("Configuração Atualizada."));

        base::Settings saved;
        ASSERT_TRUE(app::loadConfig(configPath, saved).fileFound);
        EXPECT_EQ(saved.edtPorta, 7010);
        EXPECT_EQ(saved.EdtBaseColeta, coleta->connectionString());
        EXPECT_EQ(saved.EdtUsuarioColeta, coleta->user());
        EXPECT_EQ(saved.edtTempoInicializacao, 3);
        EXPECT_FALSE(saved.ch_integratarvell);

        EXPECT_EQ(coleta->queryText("SELECT '[' || PAR_VERSAOAPK || ']' FROM PARAMETROS WHERE PAR_ID = 1;"),
                  "[" + version + "]");
        EXPECT_EQ(coleta->queryText("SELECT PAR_EMPRESA FROM PARAMETROS WHERE PAR_ID = 1;"), company);

        EXPECT_EQ(action("I1")->isChecked(), ok);
        EXPECT_EQ(listener.isActive, ok);
        EXPECT_EQ(indicator(), ok ? kGreen : kRed);
        if (ok) {
            EXPECT_EQ(listener.heldPort, 7010);
            // The start read the saved values back from PARAMETROS.
            EXPECT_EQ(field("edtVersaoCliente")->text().toStdString(), version);
            EXPECT_EQ(field("edtIDEmpresa")->text().toStdString(), company);
        }
    }
}

TEST_F(EditingTest, SaveErrorIsShownAndEditingGoesOn)
{
    // A configuration file that cannot be written.
    configPath = (dir / "missing" / "ConfigQuelvorLeite.ini").string();
    useDatabase();
    build(true);
    start();
    boxes.clear();
    action("E1")->trigger();
    typeInto(field("EdtBaseColeta"), QString::fromStdString(coleta->connectionString()));
    typeInto(field("EdtUsuarioColeta"), QString::fromStdString(coleta->user()));
    typeInto(field("EdtSenhaColeta"), QString::fromStdString(coleta->password()));
    typeInto(field("edtPorta"), "7010");
    typeInto(field("edtVersaoCliente"), "3.1"); // as the database holds them
    typeInto(field("edtIDEmpresa"), "12");

    action("S1")->trigger();

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, BoxKind::Error);
    EXPECT_NE(boxes[0].text.find("missing"), std::string::npos) << boxes[0].text;
    EXPECT_TRUE(editingState());
    EXPECT_FALSE(logMessages().contains("Configuração Atualizada."));
}

TEST_F(WindowTest, CloseHidesOrMinimisesButNeverEnds)
{
    for (const bool tray : {true, false}) {
        SCOPED_TRACE(tray ? "with a notification area" : "without a notification area");
        build(tray);
        start(); // first run: the window opens
        ASSERT_TRUE(window->isVisible());
        action("E1")->trigger();
        const QString log = find<QPlainTextEdit>("Memo1")->toPlainText();

        EXPECT_FALSE(window->close());

        if (tray) {
            EXPECT_FALSE(window->isVisible());
            action("pmnuiOpen")->trigger();
            EXPECT_TRUE(window->isVisible());
        } else {
            EXPECT_TRUE(window->isVisible());
            EXPECT_TRUE(window->isMinimized());
        }
        EXPECT_FALSE(exitCode.has_value());
        EXPECT_FALSE(window->exited());
        EXPECT_EQ(find<QPlainTextEdit>("Memo1")->toPlainText(), log);
        EXPECT_TRUE(action("S1")->isEnabled()) << "closing leaves the editing state alone";
    }
}

} // namespace
