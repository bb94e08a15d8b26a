#include "tests/ui/WindowFixture.h"
#include "ui/DispositivosView.h"

#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTreeWidget>

#include <filesystem>

using namespace quelvor;
using quelvor::test::pumpUntil;
using quelvor::test::TestDatabase;

namespace {

// Screenshots for a person to look at, under the build folder (the tests run
// in build/tests).
std::string screenshot(QWidget* w, const std::string& name)
{
    std::filesystem::create_directories("screenshots");
    const std::string path = (std::filesystem::current_path() / "screenshots" / name).string();
    w->grab().save(QString::fromStdString(path));
    return path;
}

class DispositivosViewTest : public test::WindowTest
{
protected:
    DispositivosViewTest()
    {
        useDatabase();
        // Released and connected; waiting since the handshake added it; one
        // whose id a spliced statement would break; released and away.
        coleta->execScript(
            "INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO, DIS_ROTAS, DIS_DATAHORACONEXAO, DIS_VERSAOAPK) "
            "VALUES ('TAB-ROTA-03', 'S', '3', CURRENT_TIMESTAMP, '2.4');\n"
            "INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO, DIS_ROTAS, DIS_DATAHORACONEXAO, DIS_VERSAOAPK) "
            "VALUES ('TAB-NOVO-07', 'N', '', CURRENT_TIMESTAMP, '2.5');\n"
            "INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO, DIS_ROTAS, DIS_VERSAOAPK) "
            "VALUES ('Tablet d''Água', 'N', '8', '2.5');\n"
            "INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO, DIS_ROTAS, DIS_DATAHORACONEXAO, DIS_VERSAOAPK) "
            "VALUES ('TAB-ROTA-11', 'S', '11;12', '2026-11-30 17:45:00', '2.3');\n");
        base::Settings s = core->settings();
        s.EdtBaseColeta = coleta->connectionString();
        s.EdtUsuarioColeta = coleta->user();
        s.EdtSenhaColeta = coleta->password();
        core->setSettings(s);

        // Two handhelds connected: one past its handshake with a request
        // answered, one that has not said who it is yet.
        state.status.conectou("31", "192.168.10.23");
        state.status.identificou("31", "TAB-ROTA-03", "2.4");
        state.status.pedido("31", "1000", std::chrono::milliseconds(4), false);
        state.status.pedido("31", "6002", std::chrono::milliseconds(9), false);
        state.status.envio("31", "6002", true);
        state.status.conectou("32", "192.168.10.40");
        state.status.identificou("32", "TAB-NOVO-07", "2.5");
        base::AlertaDeQualidade alerta;
        alerta.quando = base::WallClock::now();
        alerta.tipo = "temperatura";
        alerta.carga = "10455";
        alerta.produtor = "2031";
        alerta.rota = "3";
        alerta.valor = "9,8";
        alerta.dispositivo = "TAB-ROTA-03";
        state.status.alerta(alerta);
    }

    ui::DispositivosView* open()
    {
        action("mnuDispositivos")->trigger();
        ui::DispositivosView* v = window->dispositivosView();
        if (!v)
            throw std::runtime_error("no view");
        v->setPedeLiberacao([this](const QString& id, const QString& rotas) {
            asked.push_back({id.toStdString(), rotas.toStdString()});
            return answer;
        });
        EXPECT_TRUE(pumpUntil([v] { return v->registroLido(); }));
        return v;
    }

    QTreeWidget* list(const char* name) const { return find<QTreeWidget>(name); }

    static std::vector<std::string> column(QTreeWidget* l, int c)
    {
        std::vector<std::string> out;
        for (int i = 0; i < l->topLevelItemCount(); ++i)
            out.push_back(l->topLevelItem(i)->text(c).toStdString());
        return out;
    }

    std::string stateLine() const { return find<QLabel>("EstadoDispositivos")->text().toStdString(); }

    std::string rowOf(const std::string& quotedId) const
    {
        return coleta->queryText(
            "SELECT DIS_LIBERADO || '|' || DIS_ROTAS FROM DISPOSITIVOS WHERE DIS_ID = '" + quotedId + "';");
    }

    void select(const std::string& id)
    {
        QTreeWidget* l = list("ListaAguardando");
        for (int i = 0; i < l->topLevelItemCount(); ++i)
            if (l->topLevelItem(i)->text(0).toStdString() == id)
                l->setCurrentItem(l->topLevelItem(i));
    }

    std::vector<std::pair<std::string, std::string>> asked;
    std::optional<QString> answer;
};

} // namespace

TEST_F(DispositivosViewTest, ShowsTheConnectedTheRegisteredTheWaitingAndTheAlerts)
{
    ui::DispositivosView* v = open();
    EXPECT_TRUE(v->isVisible());
    EXPECT_NE(stateLine().find("Registro de dispositivos lido às"), std::string::npos) << stateLine();

    QTreeWidget* conectados = list("ListaConectados");
    ASSERT_EQ(conectados->topLevelItemCount(), 2);
    QTreeWidgetItem* primeiro = conectados->topLevelItem(0);
    EXPECT_EQ(primeiro->text(0), "TAB-ROTA-03");
    EXPECT_EQ(primeiro->text(1), "2.4");
    EXPECT_EQ(primeiro->text(2), "192.168.10.23");
    EXPECT_TRUE(primeiro->text(4).endsWith(" (6002)")) << primeiro->text(4).toStdString();
    EXPECT_EQ(primeiro->text(5), "2");
    EXPECT_EQ(primeiro->text(6), "1");
    EXPECT_EQ(conectados->topLevelItem(1)->text(0), "TAB-NOVO-07");

    EXPECT_EQ(column(list("ListaAguardando"), 0), (std::vector<std::string>{"TAB-NOVO-07", "Tablet d'Água"}));
    EXPECT_EQ(column(list("ListaAguardando"), 4), (std::vector<std::string>{"Sim", ""})) << "connected now";
    EXPECT_EQ(column(list("ListaTodos"), 0),
              (std::vector<std::string>{"TAB-NOVO-07", "TAB-ROTA-03", "TAB-ROTA-11", "Tablet d'Água"}));
    EXPECT_EQ(column(list("ListaTodos"), 1), (std::vector<std::string>{"Não", "Sim", "Sim", "Não"}));
    EXPECT_EQ(column(list("ListaTodos"), 2), (std::vector<std::string>{"—", "3", "11;12", "8"}));
    EXPECT_EQ(column(list("ListaTodos"), 3)[2], "30/11/2026 17:45:00") << "another day shows its date";
    EXPECT_EQ(column(list("ListaTodos"), 3)[3], "—") << "never connected";
    EXPECT_EQ(column(list("ListaAlertas"), 1), std::vector<std::string>{"temperatura"});
    EXPECT_EQ(column(list("ListaAlertas"), 2), std::vector<std::string>{"9,8"});

    auto* abas = find<QTabWidget>("AbasDispositivos");
    EXPECT_EQ(abas->tabText(0), "Conectados (2)");
    EXPECT_EQ(abas->tabText(1), "Aguardando liberação (2)");
    EXPECT_EQ(abas->tabText(2), "Todos os registrados (4)");
    EXPECT_EQ(abas->tabText(3), "Alertas de qualidade (1)");

    screenshot(v, "dispositivos.png");
    abas->setCurrentIndex(1);
    select("TAB-NOVO-07");
    screenshot(v, "dispositivos-aguardando.png");
    abas->setCurrentIndex(0);

    // The model's changes reach the open view at its next tick.
    state.status.desconectou("32");
    EXPECT_TRUE(pumpUntil([&] { return conectados->topLevelItemCount() == 1; },
                          3 * ui::DispositivosView::kPeriodoMs));
    EXPECT_EQ(column(list("ListaAguardando"), 4), (std::vector<std::string>{"", ""}));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(DispositivosViewTest, LiberaAsksWritesTheFlagAndTheRoutesLogsAndRefreshes)
{
    ui::DispositivosView* v = open();
    auto* liberar = find<QPushButton>("BtnLiberar");
    EXPECT_FALSE(liberar->isEnabled()) << "nothing selected";

    // Cancelled: nothing written, nothing logged.
    select("Tablet d'Água");
    ASSERT_TRUE(liberar->isEnabled());
    answer.reset();
    liberar->click();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], (std::pair<std::string, std::string>{"Tablet d'Água", "8"})) << "routes prefilled";
    EXPECT_EQ(rowOf("Tablet d''Água"), "N|8");

    // Confirmed with other routes, quotes and accents included.
    answer = QString::fromUtf8(" 8;9 'São José' ");
    liberar->click();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(rowOf("Tablet d''Água"), "S|8;9 'São José'");
    EXPECT_EQ(rowOf("TAB-NOVO-07"), "N|") << "only the one selected";
    EXPECT_TRUE(pumpUntil([&] {
        return logMessages().contains(
            QString::fromUtf8("Dispositivo Tablet d'Água liberado pelo operador; rotas: 8;9 'São José'"));
    }));
    EXPECT_NE(stateLine().find("Dispositivo Tablet d'Água liberado"), std::string::npos) << stateLine();

    // The refresh that follows moves it out of the waiting list.
    EXPECT_TRUE(pumpUntil([&] {
        return v->registroLido() &&
               column(list("ListaAguardando"), 0) == std::vector<std::string>{"TAB-NOVO-07"};
    }));
    EXPECT_EQ(column(list("ListaTodos"), 1)[3], "Sim");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(DispositivosViewTest, ADatabaseThatIsDownIsSaidInTheViewNotInBoxes)
{
    ui::DispositivosView* v = open();
    ASSERT_EQ(list("ListaTodos")->topLevelItemCount(), 4);

    base::Settings s = core->settings();
    s.EdtBaseColeta = "localhost:/nonexistent/quelvor/coleta.fdb";
    core->setSettings(s);
    v->atualiza();
    ASSERT_TRUE(pumpUntil([v] { return v->registroLido(); }));
    EXPECT_NE(stateLine().find("Registro de dispositivos indisponível"), std::string::npos) << stateLine();
    EXPECT_NE(stateLine().find("As listas mostram a leitura das"), std::string::npos) << stateLine();
    EXPECT_EQ(list("ListaTodos")->topLevelItemCount(), 4) << "what was last read stays";
    EXPECT_EQ(list("ListaConectados")->topLevelItemCount(), 2) << "the model does not need the database";

    // Several ticks later: still no box, and a release fails in the view's line.
    test::pumpFor(ui::DispositivosView::kPeriodoMs + 500);
    select("TAB-NOVO-07");
    answer = QStringLiteral("4");
    find<QPushButton>("BtnLiberar")->click();
    EXPECT_NE(stateLine().find("Falha ao liberar o dispositivo TAB-NOVO-07"), std::string::npos)
        << stateLine();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(rowOf("TAB-NOVO-07"), "N|");
}

TEST_F(DispositivosViewTest, TheViewIsReachedFromServidorSocketAfterInicializado)
{
    const QList<QAction*> itens = find<QMenu>("S4")->actions();
    ASSERT_GE(itens.size(), 2);
    EXPECT_EQ(itens.first(), action("I1")) << "the existing entry keeps its place";
    EXPECT_EQ(itens.last(), action("mnuDispositivos"));
    EXPECT_EQ(action("mnuDispositivos")->text(), "Dispositivos");
}

// The indicator's words and the tray tooltip follow the model without a
// call from the core: the one-second timer reads it.
TEST_F(DispositivosViewTest, TheIndicatorAndTheTraySayTheStateInWords)
{
    auto* tray = find<QSystemTrayIcon>("TrayIcon1");
    window->setIndicator(false);
    EXPECT_EQ(window->estadoDoServico(), "Parado");
    EXPECT_EQ(tray->toolTip(), "Quelvor: Parado");
    EXPECT_EQ(indicator(), test::kRed);

    window->setIndicator(true);
    EXPECT_EQ(window->estadoDoServico(), "Em execução — 2 dispositivos");
    EXPECT_EQ(tray->toolTip(), "Quelvor: Em execução — 2 dispositivos");
    EXPECT_EQ(indicator(), test::kGreen);

    state.status.conectou("33", "10.1.1.1");
    EXPECT_TRUE(pumpUntil([&] { return window->estadoDoServico() == "Em execução — 3 dispositivos"; }, 3000));

    state.status.baseFalhou(base::StatusModel::Base::Coleta, "Unable to complete network request");
    EXPECT_TRUE(pumpUntil([&] { return window->estadoDoServico() == "Base de dados indisponível"; }, 3000));
    EXPECT_EQ(tray->toolTip(), "Quelvor: Base de dados indisponível");
    EXPECT_EQ(find<QLabel>("EstadoServico")->toolTip(), "Unable to complete network request") << "why";
    EXPECT_NE(indicator(), test::kGreen) << "not green while handhelds are dropped";
    EXPECT_NE(indicator(), test::kRed);
    window->openWindow();
    screenshot(window.get(), "janela-base-indisponivel.png");

    state.status.baseRespondeu(base::StatusModel::Base::Coleta);
    EXPECT_TRUE(pumpUntil([&] { return window->estadoDoServico() == "Em execução — 3 dispositivos"; }, 3000));

    state.status.servicoParado();
    window->setIndicator(false);
    EXPECT_EQ(window->estadoDoServico(), "Parado");
    EXPECT_EQ(tray->toolTip(), "Quelvor: Parado");
}

TEST_F(DispositivosViewTest, StatusBarPanel4ShowsTheLatestSynchronisation)
{
    EXPECT_EQ(window->statusPanel(4), "Nenhuma sincronização ainda");
    const auto n = state.status.sincronizacaoIniciada();
    EXPECT_TRUE(pumpUntil(
        [&] { return window->statusPanel(4).startsWith("Sincronização em andamento desde "); }, 3000));
    state.status.sincronizacaoTabela(n, {"ROTAS", 5, 1});
    auto* panel = find<QLabel>("StatusBar1Panel4");
    EXPECT_TRUE(pumpUntil([&] { return panel->toolTip().contains("ROTAS: lidas 5, gravadas 1"); }, 3000))
        << "the tables as they come, while the run goes on";
    state.status.sincronizacaoTerminada(n, false, "Table unknown PRODUTORES");
    EXPECT_TRUE(pumpUntil([&] { return window->statusPanel(4).endsWith(" falhou"); }, 3000))
        << window->statusPanel(4).toStdString();
    EXPECT_TRUE(window->statusPanel(4).startsWith("Sincronização: "));
    EXPECT_TRUE(panel->toolTip().contains("Erro: Table unknown PRODUTORES"))
        << panel->toolTip().toStdString();
    EXPECT_TRUE(panel->toolTip().contains("ROTAS: lidas 5, gravadas 1"));
    // The progress panel stays the core's.
    window->setStatusPanel(3, "-");
    EXPECT_EQ(window->statusPanel(3), "-");
    EXPECT_TRUE(window->statusPanel(4).endsWith(" falhou"));
    window->openWindow();
    screenshot(window.get(), "janela.png");
}

// A read of the register that began before a release must not be the last
// word: the view reads again once it is back.
TEST_F(DispositivosViewTest, AReadThatBeganBeforeAReleaseIsFollowedByAnother)
{
    ui::DispositivosView* v = open();
    v->setLeitor([](const base::Settings& s) {
        auto lista = app::DeviceRegistry(s).dispositivos();
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        return lista;
    });
    v->atualiza(); // reads the register as it is now, and takes its time to tell
    select("TAB-NOVO-07");
    answer = QStringLiteral("7");
    find<QPushButton>("BtnLiberar")->click();
    EXPECT_EQ(rowOf("TAB-NOVO-07"), "S|7");

    ASSERT_TRUE(pumpUntil([v] { return v->registroLido(); }));
    EXPECT_EQ(column(list("ListaAguardando"), 0), std::vector<std::string>{"Tablet d'Água"});
}

// The question the operator gets by default: the handheld named, its routes
// prefilled and editable, "Liberar" or "Cancelar".
TEST(PerguntaLiberacao, PrefillsTheRoutesAndGivesBackWhatWasTypedOnlyWhenConfirmed)
{
    test::qtApp();
    struct Resposta
    {
        bool liberar;
        QString rotas;
    };
    for (const Resposta& r :
         {Resposta{true, QStringLiteral("1;2;São Bento")}, Resposta{false, QStringLiteral("9")}}) {
        QString texto, prefilled;
        QTimer::singleShot(0, [&] {
            auto* caixa = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(caixa, nullptr);
            for (QLabel* l : caixa->findChildren<QLabel*>())
                texto += l->text() + QLatin1Char('\n');
            auto* rotas = caixa->findChild<QLineEdit*>(QStringLiteral("EdtRotas"));
            prefilled = rotas->text();
            rotas->setText(r.rotas);
            if (r.liberar)
                screenshot(caixa, "pergunta-liberacao.png");
            for (QPushButton* b : caixa->findChildren<QPushButton*>())
                if (b->text() == (r.liberar ? "Liberar" : "Cancelar"))
                    b->click();
        });
        const auto resposta =
            ui::perguntaLiberacao(nullptr, QStringLiteral("Tablet d'Água"), QStringLiteral("8"));
        EXPECT_EQ(prefilled, "8");
        EXPECT_TRUE(texto.contains(QString::fromUtf8("Liberar o dispositivo “Tablet d'Água”?")))
            << texto.toStdString();
        if (r.liberar) {
            ASSERT_TRUE(resposta);
            EXPECT_EQ(*resposta, r.rotas);
        } else {
            EXPECT_FALSE(resposta);
        }
    }
}
