#include "ui/MainWindow.h"

#include "app/FrmPrincipal.h"
#include "app/StatusWords.h"
#include "base/OperatorLog.h"
#include "base/OperatorMessages.h"
#include "base/RegionalFormat.h"
#include "ui/DispositivosView.h"
#include "ui/Fields.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>

namespace quelvor::ui {
namespace {

const QString kAppTitle = QStringLiteral("Quelvor");

// The band of configuration groups across the top of the window.
constexpr int kBandHeight = 193;
constexpr int kSocketGroupWidth = 179;
constexpr int kTarvellGroupHeight = 84;
constexpr int kClientWidth = 742;
constexpr int kClientHeight = 460;
constexpr std::array<int, 4> kPanelWidths{150, 150, 50, 50};

// A drained burst goes into Memo1 in appends of this many lines, and the
// window stops appending after this long to repaint and take clicks before it
// goes on with the rest.
constexpr std::size_t kLinesPerAppend = 1000;
constexpr qint64 kAppendSliceMs = 10;

const QColor kStoppedColour(255, 0, 0);
const QColor kRunningColour(0, 128, 0);
const QColor kNoDatabaseColour(230, 140, 0);

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

// The icon of the window and of the notification area: a milk can on a blue
// tile, drawn here so that the program carries no image files.
QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size / 64.0;
        p.scale(s, s);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(31, 78, 121));
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

        QPainterPath can;
        can.addRoundedRect(QRectF(18, 24, 28, 32), 5, 5); // body
        can.addRect(QRectF(24, 16, 16, 10));              // neck
        can.addRoundedRect(QRectF(21, 11, 22, 7), 3, 3);  // lid
        p.setBrush(Qt::white);
        p.drawPath(can.simplified());
        p.setBrush(QColor(31, 78, 121));
        p.drawRect(QRectF(18, 34, 28, 4)); // band round the can
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// One style for every password field of the process; it lives as long as the
// application, so no field ever outlives its style.
HashMaskStyle* hashMaskStyle()
{
    static QPointer<HashMaskStyle> style;
    if (!style) {
        style = new HashMaskStyle;
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

long long wholeNumber(const std::string& text)
{
    long long v = 0;
    const char* end = text.data() + text.size();
    const auto res = std::from_chars(text.data(), end, v);
    return (res.ec == std::errc() && res.ptr == end) ? v : 0;
}

void setTextIfChanged(QLineEdit* field, const std::string& text)
{
    const QString value = qs(text);
    if (field->text() != value)
        field->setText(value);
}

void setNumberIfChanged(NumberField* field, long long value)
{
    if (field->value() != value || field->text().isEmpty())
        field->setValue(value);
}

QLineEdit* textField(const char* name, QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(name));
    return field;
}

NumberField* numberField(const char* name, QWidget* parent)
{
    auto* field = new NumberField(parent);
    field->setObjectName(QLatin1String(name));
    return field;
}

QLabel* label(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

} // namespace

MainWindow::MainWindow(std::optional<bool> trayAvailable, QWidget* parent)
    : QMainWindow(parent), m_exitHandler([](int code) { QCoreApplication::exit(code); }),
      m_trayAvailable(trayAvailable.value_or(QSystemTrayIcon::isSystemTrayAvailable())),
      m_logWake(this, [this] { drainLog(); }), m_messageWake(this, [this] { takeOperatorMessages(); })
{
    setObjectName(QStringLiteral("FrmPrincipal"));
    setWindowTitle(QStringLiteral("Interface de Gerenciamento do Quelvor"));
    setWindowIcon(applicationIcon());

    buildLayout();
    buildMenus();
    buildTray();
    buildTimers();
    mostraEstadoDoServico();

    m_logContinue.setSingleShot(true);
    m_logContinue.setInterval(0);
    connect(&m_logContinue, &QTimer::timeout, this, &MainWindow::appendLogBacklog);

    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());

    base::OperatorLog::instance().setWakeUp(m_logWake.poster());
    base::operatorMessages().setWakeUp(m_messageWake.poster());
    base::setMainThreadEvents([this] { processPendingEvents(); });
    // Whatever was logged or handed over before the window existed.
    m_logWake.poster()();
    m_messageWake.poster()();
}

MainWindow::~MainWindow()
{
    base::OperatorLog::instance().setWakeUp(nullptr);
    base::operatorMessages().setWakeUp(nullptr);
    base::setMainThreadEvents(nullptr);
    m_logWake.detach();
    m_messageWake.detach();
    delete m_openOperatorMessage.data();
}

void MainWindow::buildLayout()
{
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(4, 2, 4, 2);
    outer->setSpacing(2);

    auto* band = new QWidget(central);
    band->setObjectName(QStringLiteral("band"));
    band->setFixedHeight(kBandHeight);
    auto* bandLayout = new QHBoxLayout(band);
    bandLayout->setContentsMargins(0, 0, 0, 0);
    bandLayout->setSpacing(4);

    // Left: the two databases.
    auto* bases = new QGroupBox(QStringLiteral("Configurações de Base de Dados"), band);
    bases->setObjectName(QStringLiteral("GroupBases"));
    auto* basesLayout = new QVBoxLayout(bases);
    basesLayout->setContentsMargins(4, 2, 4, 4);
    basesLayout->setSpacing(2);

    auto* tarvell = new QGroupBox(QStringLiteral("Base de Dados Tarvell"), bases);
    tarvell->setObjectName(QStringLiteral("GroupTarvell"));
    tarvell->setFixedHeight(kTarvellGroupHeight);
    EdtBaseTarvell = textField("EdtBaseTarvell", tarvell);
    EdtUsuarioTarvell = textField("EdtUsuarioTarvell", tarvell);
    EdtSenhaTarvell = textField("EdtSenhaTarvell", tarvell);
    ch_integratarvell = new QCheckBox(QStringLiteral("Usa integração com TARVELL"), tarvell);
    ch_integratarvell->setObjectName(QStringLiteral("ch_integratarvell"));

    auto* coleta = new QGroupBox(QStringLiteral("Base de Dados Coleta de Leite"), bases);
    coleta->setObjectName(QStringLiteral("GroupColeta"));
    EdtBaseColeta = textField("EdtBaseColeta", coleta);
    EdtUsuarioColeta = textField("EdtUsuarioColeta", coleta);
    EdtSenhaColeta = textField("EdtSenhaColeta", coleta);

    // Both groups share one form: the path across the whole width, user and
    // password under it, and for the ERP the integration switch below them.
    auto databaseForm = [](QGroupBox* group, QLineEdit* base, QLineEdit* usuario, QLineEdit* senha,
                           QWidget* extra) {
        auto* grid = new QGridLayout(group);
        grid->setContentsMargins(6, 0, 6, 2);
        grid->setHorizontalSpacing(6);
        grid->setVerticalSpacing(1);
        grid->addWidget(label(QStringLiteral("Endereço da Base de Dados"), base, group), 0, 0);
        grid->addWidget(base, 0, 1, 1, 3);
        grid->addWidget(label(QStringLiteral("Usuário"), usuario, group), 1, 0);
        grid->addWidget(usuario, 1, 1);
        grid->addWidget(label(QStringLiteral("Senha"), senha, group), 1, 2);
        grid->addWidget(senha, 1, 3);
        if (extra)
            grid->addWidget(extra, 2, 1, 1, 3);
        grid->setColumnStretch(1, 1);
        grid->setColumnStretch(3, 1);
        grid->setRowStretch(3, 1);
        senha->setStyle(hashMaskStyle());
        senha->setEchoMode(QLineEdit::Password);
    };
    databaseForm(tarvell, EdtBaseTarvell, EdtUsuarioTarvell, EdtSenhaTarvell, ch_integratarvell);
    databaseForm(coleta, EdtBaseColeta, EdtUsuarioColeta, EdtSenhaColeta, nullptr);
    basesLayout->addWidget(tarvell);
    basesLayout->addWidget(coleta, 1);

    // Right: the listener, the handhelds' version and company, the wait.
    auto* socket = new QGroupBox(QStringLiteral("Socket"), band);
    socket->setObjectName(QStringLiteral("GroupSocket"));
    socket->setFixedWidth(kSocketGroupWidth);
    edtPorta = numberField("edtPorta", socket);
    Edit7 = new IndicatorBox(socket);
    Edit7->setObjectName(QStringLiteral("Edit7"));
    Edit7->setFixedSize(16, 16);
    edtVersaoCliente = textField("edtVersaoCliente", socket);
    edtVersaoCliente->setMaxLength(10);
    edtIDEmpresa = numberField("edtIDEmpresa", socket);
    edtTempoInicializacao = numberField("edtTempoInicializacao", socket);
    edtTempoInicializacao->setFixedWidth(60);

    auto* socketGrid = new QGridLayout(socket);
    socketGrid->setContentsMargins(6, 2, 6, 4);
    socketGrid->setHorizontalSpacing(4);
    socketGrid->setVerticalSpacing(3);
    socketGrid->addWidget(label(QStringLiteral("Porta Socket"), edtPorta, socket), 0, 0);
    socketGrid->addWidget(edtPorta, 0, 1);
    socketGrid->addWidget(Edit7, 0, 2);
    socketGrid->addWidget(label(QStringLiteral("Versão Cliente"), edtVersaoCliente, socket), 1, 0);
    socketGrid->addWidget(edtVersaoCliente, 1, 1, 1, 2);
    socketGrid->addWidget(label(QStringLiteral("ID Empresa"), edtIDEmpresa, socket), 2, 0);
    socketGrid->addWidget(edtIDEmpresa, 2, 1, 1, 2);
    socketGrid->addWidget(label(QStringLiteral("Tempo Espera Inicialização"), edtTempoInicializacao, socket),
                          3, 0, 1, 3);
    auto* waitRow = new QHBoxLayout;
    waitRow->setSpacing(4);
    waitRow->addWidget(edtTempoInicializacao);
    waitRow->addWidget(new QLabel(QStringLiteral("Segundos"), socket));
    waitRow->addStretch(1);
    socketGrid->addLayout(waitRow, 4, 0, 1, 3);
    // What the indicator's colour means, in words.
    m_estadoServico = new QLabel(QStringLiteral("Parado"), socket);
    m_estadoServico->setObjectName(QStringLiteral("EstadoServico"));
    m_estadoServico->setWordWrap(true);
    QFont estadoFont = m_estadoServico->font();
    estadoFont.setBold(true);
    m_estadoServico->setFont(estadoFont);
    socketGrid->addWidget(m_estadoServico, 5, 0, 1, 3);
    socketGrid->setRowStretch(6, 1);
    socketGrid->setColumnStretch(1, 1);

    bandLayout->addWidget(bases, 1);
    bandLayout->addWidget(socket);

    // Below: the log, taking whatever room the window has.
    auto* logGroup = new QGroupBox(QStringLiteral("Log do Sistema"), central);
    logGroup->setObjectName(QStringLiteral("GroupLog"));
    auto* logLayout = new QVBoxLayout(logGroup);
    logLayout->setContentsMargins(4, 2, 4, 4);
    Memo1 = new QPlainTextEdit(logGroup);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setUndoRedoEnabled(false); // an hour of lines needs no undo history
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont mono(QStringLiteral("Courier New"), 8);
    mono.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
                      QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
    mono.setStyleHint(QFont::TypeWriter);
    mono.setFixedPitch(true);
    Memo1->setFont(mono);
    logLayout->addWidget(Memo1);

    outer->addWidget(band);
    outer->addWidget(logGroup, 1);
    setCentralWidget(central);

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setContentsMargins(2, 0, 2, 0);
        if (i < 3) {
            panel->setFixedWidth(kPanelWidths[i]);
            bar->addWidget(panel);
        } else {
            // The synchronisation's progress names the record and its table;
            // the last panel has the rest of the bar for it.
            panel->setMinimumWidth(kPanelWidths[i]);
            bar->addWidget(panel, 1);
        }
        m_panels[i] = panel;
    }
    // Panel 4, at the right end: the latest synchronisation's time and result.
    auto* syncPanel = new QLabel(bar);
    syncPanel->setObjectName(QStringLiteral("StatusBar1Panel4"));
    syncPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    syncPanel->setContentsMargins(2, 0, 2, 0);
    bar->addPermanentWidget(syncPanel);
    m_panels[4] = syncPanel;

    const std::array<QWidget*, 11> settingsFields{
        EdtBaseTarvell,   EdtUsuarioTarvell, EdtSenhaTarvell,      ch_integratarvell,
        EdtBaseColeta,    EdtUsuarioColeta,  EdtSenhaColeta,       edtPorta,
        edtVersaoCliente, edtIDEmpresa,      edtTempoInicializacao};
    for (QWidget* field : settingsFields) {
        field->setEnabled(false);
        if (auto* edit = qobject_cast<QLineEdit*>(field)) {
            connect(edit, &QLineEdit::textEdited, this, &MainWindow::fieldEdited);
            connect(edit, &QLineEdit::editingFinished, this, &MainWindow::fieldEdited);
        }
    }
    connect(ch_integratarvell, &QCheckBox::toggled, this, &MainWindow::fieldEdited);
}

void MainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    a1 = bar->addMenu(QStringLiteral("Arquivo"));
    a1->setObjectName(QStringLiteral("a1"));
    E1 = a1->addAction(QStringLiteral("Editar Parâmetros"));
    E1->setObjectName(QStringLiteral("E1"));
    S1 = a1->addAction(QStringLiteral("Salvar Parâmetros"));
    S1->setObjectName(QStringLiteral("S1"));
    S1->setEnabled(false);
    S2 = a1->addAction(QStringLiteral("Sincronizar Dados"));
    S2->setObjectName(QStringLiteral("S2"));
    S2->setCheckable(true);
    a1->addSeparator();
    S3 = a1->addAction(QStringLiteral("Sair"));
    S3->setObjectName(QStringLiteral("S3"));

    S4 = bar->addMenu(QStringLiteral("Servidor Socket"));
    S4->setObjectName(QStringLiteral("S4"));
    I1 = S4->addAction(QStringLiteral("Inicializado"));
    I1->setObjectName(QStringLiteral("I1"));
    I1->setCheckable(true);
    S4->addSeparator();
    mnuDispositivos = S4->addAction(QStringLiteral("Dispositivos"));
    mnuDispositivos->setObjectName(QStringLiteral("mnuDispositivos"));
    connect(mnuDispositivos, &QAction::triggered, this, [this] { abreDispositivos(); });

    A2 = bar->addMenu(QStringLiteral("Ajuda"));
    A2->setObjectName(QStringLiteral("A2"));

    // The check marks of "Inicializado" and "Sincronizar Dados" belong to the
    // core: a click must not flip them by itself.
    connect(E1, &QAction::triggered, this, [this] { request(app::Command::E1); });
    connect(S1, &QAction::triggered, this, [this] { request(app::Command::S1); });
    connect(S2, &QAction::triggered, this, [this] {
        S2->setChecked(!S2->isChecked());
        request(app::Command::S2);
    });
    connect(S3, &QAction::triggered, this, [this] { request(app::Command::Sair); });
    connect(I1, &QAction::triggered, this, [this] {
        I1->setChecked(!I1->isChecked());
        request(app::Command::I1);
    });
}

void MainWindow::buildTray()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* pmnuiOpen = PopupMenu1->addAction(QStringLiteral("Abrir Interface de Administração"));
    pmnuiOpen->setObjectName(QStringLiteral("pmnuiOpen"));
    QAction* pmnuiExit = PopupMenu1->addAction(QStringLiteral("Encerrar Aplicação"));
    pmnuiExit->setObjectName(QStringLiteral("pmnuiExit"));
    connect(pmnuiOpen, &QAction::triggered, this, &MainWindow::openWindow);
    connect(pmnuiExit, &QAction::triggered, this, [this] { request(app::Command::Sair); });

    // The right button opens PopupMenu1 (the context menu); the left and
    // middle buttons do nothing.
    TrayIcon1 = new QSystemTrayIcon(windowIcon(), this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->setToolTip(kAppTitle);
    TrayIcon1->setContextMenu(PopupMenu1);
    if (m_trayAvailable)
        TrayIcon1->show();
}

void MainWindow::buildTimers()
{
    auto timer = [this](const char* name, int periodMs) {
        auto* t = new QTimer(this);
        t->setObjectName(QLatin1String(name));
        t->setInterval(periodMs);
        return t;
    };
    Timer1 = timer("Timer1", 1000);
    Timer2 = timer("Timer2", 600000);
    Timer3 = timer("Timer3", 3600000);
    connect(Timer1, &QTimer::timeout, this, &MainWindow::Timer1Timer);
    connect(Timer2, &QTimer::timeout, this, [this] { request(app::Command::S2); });
    connect(Timer3, &QTimer::timeout, this, &MainWindow::Timer3Timer);
    Timer1->start();
    Timer2->start();
    Timer3->start();
}

void MainWindow::attach(app::TFrmPrincipal& core, std::function<void()> sincronizar)
{
    m_core = &core;
    m_sincronizar = std::move(sincronizar);
    app::CommandRunner::Hooks hooks;
    hooks.sincronizar = [this] {
        if (m_sincronizar)
            m_sincronizar();
    };
    hooks.campos = [this] { return campos(); };
    hooks.aoSair = [this] {
        TrayIcon1->hide();
        m_exitHandler(0);
    };
    m_commands.emplace(core, *this, std::move(hooks));
    Timer1Timer(); // the clock and the count from the start, not a second later
}

void MainWindow::start(const std::string& configPath)
{
    if (!m_trayAvailable)
        openWindow(); // nothing else would lead the operator to the program
    if (m_commands)
        m_commands->start(configPath);
}

void MainWindow::request(app::Command command)
{
    if (m_commands)
        m_commands->request(command);
}

base::Settings MainWindow::campos() const
{
    // What the window has no field for (the server's limits) stays as loaded.
    base::Settings s = m_core ? m_core->settings() : base::Settings{};
    s.edtPorta = edtPorta->value();
    s.edtVersaoCliente = edtVersaoCliente->text().toStdString();
    s.edtIDEmpresa = std::to_string(edtIDEmpresa->value());
    s.edtTempoInicializacao = edtTempoInicializacao->value();
    s.EdtBaseTarvell = EdtBaseTarvell->text().toStdString();
    s.EdtUsuarioTarvell = EdtUsuarioTarvell->text().toStdString();
    s.EdtSenhaTarvell = EdtSenhaTarvell->text().toStdString();
    s.ch_integratarvell = ch_integratarvell->isChecked();
    s.EdtBaseColeta = EdtBaseColeta->text().toStdString();
    s.EdtUsuarioColeta = EdtUsuarioColeta->text().toStdString();
    s.EdtSenhaColeta = EdtSenhaColeta->text().toStdString();
    return s;
}

void MainWindow::fieldEdited()
{
    // The fields are the live settings: what the operator types is what the
    // next start, the next synchronisation and the next handheld request use.
    if (m_showingSettings || !m_core)
        return;
    const base::Settings s = campos();
    if (s != m_core->settings())
        m_core->setSettings(s);
}

QString MainWindow::statusPanel(int panel) const
{
    return (panel >= 0 && panel < static_cast<int>(m_panels.size())) ? m_panels[panel]->text() : QString();
}

void MainWindow::exitSignalled()
{
    m_exitSignalled = true;
    // Each box gives its Cancel when its own loop gets control back.
    for (QMessageBox* box : m_openBoxes)
        box->done(QMessageBox::Cancel);
    request(app::Command::Sair);
}

bool MainWindow::showBox(BoxKind kind, const QString& text)
{
    if (m_exitSignalled)
        return false;
    if (m_boxHook)
        return m_boxHook(kind, text);
    QMessageBox::Icon icon = QMessageBox::Information;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    if (kind == BoxKind::Warning) {
        icon = QMessageBox::Warning;
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
    } else if (kind == BoxKind::Error) {
        icon = QMessageBox::Critical;
    }
    QMessageBox box(icon, kAppTitle, text, buttons, isVisible() ? this : nullptr);
    box.setDefaultButton(QMessageBox::Ok);
    m_openBoxes.push_back(&box);
    const int answer = box.exec();
    m_openBoxes.pop_back();
    return answer == QMessageBox::Ok;
}

void MainWindow::showMessage(const std::string& text)
{
    showBox(BoxKind::Information, qs(text));
}

bool MainWindow::askOkCancel(const std::string& text)
{
    return showBox(BoxKind::Warning, qs(text));
}

void MainWindow::showError(const std::string& text)
{
    showBox(BoxKind::Error, qs(text));
}

void MainWindow::openWindow()
{
    processPendingEvents();
    if (!m_centred) {
        if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        m_centred = true;
    }
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
    processPendingEvents();
}

void MainWindow::setIndicator(bool running)
{
    m_servicoEmExecucao = running;
    mostraEstadoDoServico();
}

QString MainWindow::estadoDoServico() const
{
    return m_estadoServico->text();
}

QString MainWindow::trayToolTip() const
{
    return TrayIcon1->toolTip();
}

void MainWindow::mostraEstadoDoServico()
{
    base::EstadoDaBase coleta;
    std::size_t dispositivos = 0;
    std::optional<base::ExecucaoDeSincronizacao> sincronizacao;
    if (m_core) {
        const base::StatusModel& status = m_core->state().status;
        coleta = status.estadoDaBase(base::StatusModel::Base::Coleta);
        dispositivos = status.conexoesAtivas();
        sincronizacao = status.ultimaSincronizacao();
    }
    const app::EstadoIndicado estado = app::estadoIndicado(m_servicoEmExecucao, coleta);
    Edit7->setColor(estado == app::EstadoIndicado::Parado             ? kStoppedColour
                    : estado == app::EstadoIndicado::BaseIndisponivel ? kNoDatabaseColour
                                                                      : kRunningColour);
    const QString palavras = qs(app::estadoEmPalavras(m_servicoEmExecucao, coleta, dispositivos));
    if (m_estadoServico->text() != palavras)
        m_estadoServico->setText(palavras);
    QPalette p = m_estadoServico->palette();
    p.setColor(QPalette::WindowText, estado == app::EstadoIndicado::Parado             ? QColor(170, 0, 0)
                                     : estado == app::EstadoIndicado::BaseIndisponivel ? QColor(176, 96, 0)
                                                                                       : kRunningColour);
    m_estadoServico->setPalette(p);
    // The words' tooltip names the database's error: what the operator must act on.
    m_estadoServico->setToolTip(estado == app::EstadoIndicado::BaseIndisponivel ? qs(coleta.ultimoErro)
                                                                                : QString());
    const QString dica = kAppTitle + QStringLiteral(": ") + palavras;
    if (TrayIcon1->toolTip() != dica)
        TrayIcon1->setToolTip(dica);

    // The run's tables come in while its words stay "em andamento".
    const QString sync = qs(app::sincronizacaoEmPalavras(sincronizacao));
    const QString detalhe = qs(app::sincronizacaoDetalhada(sincronizacao));
    if (m_panels[4]->text() != sync)
        m_panels[4]->setText(sync);
    if (m_panels[4]->toolTip() != detalhe)
        m_panels[4]->setToolTip(detalhe);
}

DispositivosView* MainWindow::abreDispositivos()
{
    if (!m_core)
        return nullptr;
    if (!m_dispositivos) {
        m_dispositivos = new DispositivosView(
            m_core->state().status, [this] { return m_core->settings(); }, this);
        m_dispositivos->setWindowFlag(Qt::Window, true);
        m_dispositivos->setWindowIcon(windowIcon());
    }
    if (m_dispositivos->isMinimized())
        m_dispositivos->showNormal();
    else
        m_dispositivos->show();
    m_dispositivos->raise();
    m_dispositivos->activateWindow();
    return m_dispositivos;
}

void MainWindow::setRunningCheck(bool checked)
{
    I1->setChecked(checked);
}

void MainWindow::enableMainMenus(bool enabled)
{
    for (QMenu* menu : {a1, S4, A2})
        menu->menuAction()->setEnabled(enabled);
}

void MainWindow::liberaopcoes(bool funcao)
{
    for (QWidget* field :
         std::initializer_list<QWidget*>{EdtBaseTarvell, EdtUsuarioTarvell, EdtSenhaTarvell,
                                         ch_integratarvell, EdtBaseColeta, EdtUsuarioColeta, EdtSenhaColeta,
                                         edtPorta, edtVersaoCliente, edtIDEmpresa, edtTempoInicializacao})
        field->setEnabled(funcao);
}

void MainWindow::setEditing(bool editing)
{
    E1->setEnabled(!editing);
    S1->setEnabled(editing);
}

void MainWindow::showSettings(const base::Settings& s)
{
    m_showingSettings = true;
    setTextIfChanged(EdtBaseTarvell, s.EdtBaseTarvell);
    setTextIfChanged(EdtUsuarioTarvell, s.EdtUsuarioTarvell);
    setTextIfChanged(EdtSenhaTarvell, s.EdtSenhaTarvell);
    ch_integratarvell->setChecked(s.ch_integratarvell);
    setTextIfChanged(EdtBaseColeta, s.EdtBaseColeta);
    setTextIfChanged(EdtUsuarioColeta, s.EdtUsuarioColeta);
    setTextIfChanged(EdtSenhaColeta, s.EdtSenhaColeta);
    setNumberIfChanged(edtPorta, s.edtPorta);
    // Ten characters is what the operator may type; a longer version that
    // the database holds is shown whole, so that a save does not cut it.
    const int versionLength = static_cast<int>(QString::fromStdString(s.edtVersaoCliente).size());
    edtVersaoCliente->setMaxLength(std::max(10, versionLength));
    setTextIfChanged(edtVersaoCliente, s.edtVersaoCliente);
    setNumberIfChanged(edtIDEmpresa, wholeNumber(s.edtIDEmpresa));
    setNumberIfChanged(edtTempoInicializacao, s.edtTempoInicializacao);
    m_showingSettings = false;
}

void MainWindow::setSyncBusy(bool busy)
{
    S2->setChecked(busy);
}

void MainWindow::setStatusPanel(int panel, const std::string& text)
{
    if (panel >= 0 && panel < 4)
        m_panels[panel]->setText(qs(text));
}

void MainWindow::hideTaskbarEntry()
{
    // Only where the notification-area icon leads back to the window: without
    // it the taskbar entry is the operator's only way in.
    if (!m_trayAvailable || windowFlags().testFlag(Qt::Tool))
        return;
    const bool visible = isVisible();
    setWindowFlag(Qt::Tool, true);
    if (visible)
        show();
}

void MainWindow::processPendingEvents()
{
    QCoreApplication::processEvents();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing never ends the program: "Sair" and "Encerrar Aplicação" do.
    event->ignore();
    if (m_trayAvailable)
        hide();
    else
        showMinimized();
}

void MainWindow::drainLog()
{
    m_logWake.rearm();
    for (std::string& line : base::OperatorLog::instance().drain())
        m_logBacklog.push_back(std::move(line));
    appendLogBacklog();
}

void MainWindow::appendLogBacklog()
{
    QElapsedTimer clock;
    clock.start();
    std::string batch;
    while (!m_logBacklog.empty()) {
        const std::size_t n = std::min(m_logBacklog.size(), kLinesPerAppend);
        batch.clear();
        for (std::size_t i = 0; i < n; ++i) {
            if (i > 0)
                batch += '\n';
            batch += m_logBacklog.front();
            m_logBacklog.pop_front();
        }
        Memo1->appendPlainText(QString::fromStdString(batch));
        if (clock.elapsed() >= kAppendSliceMs)
            break;
    }
    if (!m_logBacklog.empty())
        m_logContinue.start(); // the rest after the events that are waiting
}

void MainWindow::takeOperatorMessages()
{
    m_messageWake.rearm();
    for (std::string& text : base::operatorMessages().takeAll())
        m_operatorMessages.push_back(qs(text));
    showNextOperatorMessage();
}

void MainWindow::showNextOperatorMessage()
{
    if (m_boxHook) {
        while (!m_operatorMessages.empty()) {
            const QString text = m_operatorMessages.front();
            m_operatorMessages.pop_front();
            m_boxHook(BoxKind::OperatorMessage, text);
        }
        return;
    }
    // One box at a time: a catalogue can hand over one message per row, and a
    // screen full of boxes would bury the window.
    if (m_openOperatorMessage || m_operatorMessages.empty())
        return;
    auto* box =
        new QMessageBox(QMessageBox::Information, kAppTitle, m_operatorMessages.front(), QMessageBox::Ok);
    m_operatorMessages.pop_front();
    box->setObjectName(QStringLiteral("OperatorMessage"));
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this] {
        m_openOperatorMessage = nullptr;
        showNextOperatorMessage();
    });
    m_openOperatorMessage = box;
    box->show();
}

void MainWindow::Timer1Timer()
{
    m_panels[0]->setText(qs(base::fullDateTime(base::localNow())));
    const int conectados = m_core ? m_core->state().connectedDevices.load() : 0;
    m_panels[1]->setText(QStringLiteral("Usuários Conectados: %1").arg(conectados));
    mostraEstadoDoServico();
}

void MainWindow::Timer3Timer()
{
    // Lines already taken but not shown yet belong to the hour that ends.
    m_logBacklog.clear();
    Memo1->clear();
}

} // namespace quelvor::ui
