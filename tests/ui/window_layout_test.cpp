// What the window is made of: its geometry when first shown and when resized,
// the fields, the log area, the status bar, the menus, the tray and the timers.
#include "tests/ui/WindowFixture.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QSystemTrayIcon>

using namespace quelvor;
using namespace quelvor::test;

namespace {

TEST_F(WindowTest, GeometryKeepsTheBandAndSocketGroupWhenResized)
{
    window->show();
    QCoreApplication::processEvents();
    auto* band = find<QWidget>("band");
    auto* socket = find<QGroupBox>("GroupSocket");
    auto* tarvell = find<QGroupBox>("GroupTarvell");
    auto* log = find<QGroupBox>("GroupLog");

    EXPECT_EQ(window->windowTitle(), "Interface de Gerenciamento do Quelvor");
    // The client area: everything under the menu bar.
    EXPECT_EQ(window->centralWidget()->width(), 742);
    EXPECT_EQ(window->centralWidget()->height() + window->statusBar()->height(), 460);

    std::vector<QSize> logSizes;
    for (const QSize size : {QSize(742, 480), QSize(1100, 760)}) {
        SCOPED_TRACE(size.width());
        window->resize(size);
        QCoreApplication::processEvents();
        EXPECT_EQ(band->height(), 193);
        EXPECT_EQ(socket->width(), 179);
        EXPECT_EQ(tarvell->height(), 84);
        EXPECT_EQ(socket->geometry().right(), band->width() - 1) << "the Socket group stands on the right";
        EXPECT_GT(log->geometry().top(), band->geometry().bottom()) << "the log group under the band";
        logSizes.push_back(log->size());
    }
    EXPECT_EQ(logSizes[1] - logSizes[0], QSize(1100 - 742, 760 - 480))
        << "the log group takes all the growth";

    // Every field has a label that names it.
    for (const auto& [name, caption] : std::vector<std::pair<const char*, const char*>>{
             {"EdtBaseTarvell", "Endereço da Base de Dados"},
             {"EdtUsuarioTarvell", "Usuário"},
             {"EdtSenhaTarvell", "Senha"},
             {"EdtBaseColeta", "Endereço da Base de Dados"},
             {"EdtUsuarioColeta", "Usuário"},
             {"EdtSenhaColeta", "Senha"},
             {"edtPorta", "Porta Socket"},
             {"edtVersaoCliente", "Versão Cliente"},
             {"edtIDEmpresa", "ID Empresa"},
             {"edtTempoInicializacao", "Tempo Espera Inicialização"},
         }) {
        QWidget* f = find<QWidget>(name);
        bool labelled = false;
        for (QLabel* l : window->findChildren<QLabel*>())
            labelled = labelled || (l->buddy() == f && l->text() == caption);
        EXPECT_TRUE(labelled) << name;
    }
    EXPECT_EQ(find<QCheckBox>("ch_integratarvell")->text(), "Usa integração com TARVELL");
    EXPECT_TRUE(tarvell->isAncestorOf(find<QWidget>("ch_integratarvell")));
    EXPECT_TRUE(socket->isAncestorOf(find<QWidget>("Edit7")));
    EXPECT_TRUE(find<QGroupBox>("GroupColeta")->isAncestorOf(field("EdtSenhaColeta")));
}

TEST_F(WindowTest, FieldsMaskPasswordsAndHoldWholeNumbers)
{
    base::Settings s;
    s.EdtSenhaTarvell = "segredo";
    s.EdtSenhaColeta = "##738460";
    s.edtPorta = -5;
    s.edtIDEmpresa = "";
    s.edtVersaoCliente = "3.1";
    window->showSettings(s);

    for (const char* name : {"EdtSenhaTarvell", "EdtSenhaColeta"}) {
        QLineEdit* f = field(name);
        EXPECT_EQ(f->echoMode(), QLineEdit::Password) << name;
        EXPECT_EQ(f->displayText(), QString(f->text().size(), QLatin1Char('#'))) << name;
    }
    EXPECT_EQ(field("edtPorta")->text(), "-5") << "a negative port is held as typed";
    EXPECT_EQ(field("edtIDEmpresa")->text(), "0");
    EXPECT_EQ(field("edtVersaoCliente")->maxLength(), 10);
    EXPECT_EQ(window->campos().edtPorta, -5);
    EXPECT_EQ(window->campos().edtIDEmpresa, "0");

    EXPECT_EQ(indicator(), kRed);
    window->setIndicator(true);
    EXPECT_EQ(indicator(), kGreen);
    EXPECT_FALSE(find<QWidget>("Edit7")->isEnabled());

    auto* memo = find<QPlainTextEdit>("Memo1");
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(memo->font().pointSize(), 8);
    EXPECT_TRUE(QFontInfo(memo->font()).fixedPitch()) << QFontInfo(memo->font()).family().toStdString();
}

TEST_F(WindowTest, StatusBarPanels)
{
    auto* bar = find<QStatusBar>("StatusBar1");
    const int widths[] = {150, 150, 50};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(find<QLabel>(("StatusBar1Panel" + std::to_string(i)).c_str())->width(), widths[i]) << i;
    EXPECT_GE(find<QLabel>("StatusBar1Panel3")->width(), 50);
    EXPECT_TRUE(bar->isAncestorOf(find<QLabel>("StatusBar1Panel3")));
    for (int i = 0; i < 4; ++i) {
        window->setStatusPanel(i, "painel " + std::to_string(i));
        EXPECT_EQ(window->statusPanel(i).toStdString(), "painel " + std::to_string(i));
    }
}

TEST_F(WindowTest, MenusTrayAndTimers)
{
    struct Item
    {
        const char* name;
        const char* text;
        bool enabled;
        bool checkable;
    };
    const Item items[] = {
        {"E1", "Editar Parâmetros", true, false},
        {"S1", "Salvar Parâmetros", false, false},
        {"S2", "Sincronizar Dados", true, true},
        {"S3", "Sair", true, false},
        {"I1", "Inicializado", true, true},
        {"pmnuiOpen", "Abrir Interface de Administração", true, false},
        {"pmnuiExit", "Encerrar Aplicação", true, false},
    };
    for (const Item& item : items) {
        SCOPED_TRACE(item.name);
        QAction* a = action(item.name);
        EXPECT_EQ(a->text(), item.text);
        EXPECT_EQ(a->isEnabled(), item.enabled);
        EXPECT_EQ(a->isCheckable(), item.checkable);
        EXPECT_FALSE(a->isChecked());
    }
    const std::pair<const char*, const char*> menus[] = {
        {"a1", "Arquivo"}, {"S4", "Servidor Socket"}, {"A2", "Ajuda"}};
    QStringList barTitles;
    for (QAction* a : window->menuBar()->actions())
        barTitles << a->text();
    EXPECT_EQ(barTitles, (QStringList{"Arquivo", "Servidor Socket", "Ajuda"}));
    for (const auto& [name, title] : menus)
        EXPECT_EQ(find<QMenu>(name)->title(), title);
    EXPECT_TRUE(find<QMenu>("a1")->actions().contains(action("S2")));
    EXPECT_TRUE(find<QMenu>("S4")->actions().contains(action("I1")));

    auto* tray = find<QSystemTrayIcon>("TrayIcon1");
    EXPECT_EQ(tray->contextMenu(), find<QMenu>("PopupMenu1"));
    EXPECT_FALSE(tray->icon().isNull());
    EXPECT_EQ(find<QMenu>("PopupMenu1")->actions(),
              (QList<QAction*>{action("pmnuiOpen"), action("pmnuiExit")}));
    // A left click on the icon does nothing: no window, no menu command.
    emit tray->activated(QSystemTrayIcon::Trigger);
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isVisible());

    const std::pair<const char*, int> timers[] = {{"Timer1", 1000}, {"Timer2", 600000}, {"Timer3", 3600000}};
    for (const auto& [name, period] : timers) {
        EXPECT_EQ(find<QTimer>(name)->interval(), period) << name;
        EXPECT_TRUE(find<QTimer>(name)->isActive()) << name;
    }
}

} // namespace
