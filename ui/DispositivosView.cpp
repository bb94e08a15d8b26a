#include "ui/DispositivosView.h"

#include "app/StatusWords.h"
#include "base/OperatorLog.h"
#include "base/RegionalFormat.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace quelvor::ui {
namespace {

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

// A moment as the operator reads it in a list: the time alone today, the
// date and the time on another day.
QString momento(const base::Timestamp& ts)
{
    if (ts.date == base::localNow().date)
        return qs(base::longTime(ts.time));
    return qs(base::fullDateTime(ts));
}

QString momento(base::WallClock::time_point quando)
{
    return qs(app::momentoEmPalavras(quando));
}

QTreeWidget* lista(const char* name, const QStringList& colunas, QWidget* parent)
{
    auto* l = new QTreeWidget(parent);
    l->setObjectName(QLatin1String(name));
    l->setColumnCount(static_cast<int>(colunas.size()));
    l->setHeaderLabels(colunas);
    l->setRootIsDecorated(false);
    l->setUniformRowHeights(true);
    l->setAlternatingRowColors(true);
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    l->setEditTriggers(QAbstractItemView::NoEditTriggers);
    l->header()->setStretchLastSection(false);
    return l;
}

// The column widths follow the contents, with some air between them, so that
// a device name or an address is never cut while there is room.
void ajustaColunas(QTreeWidget* l)
{
    for (int c = 0; c < l->columnCount(); ++c) {
        l->resizeColumnToContents(c);
        l->setColumnWidth(c, l->columnWidth(c) + 14);
    }
}

QString semNada(const std::string& texto)
{
    return texto.empty() ? QStringLiteral("\u2014") : qs(texto);
}

const QColor kCorDeErro(170, 0, 0);
const QColor kCorDeEspera(176, 96, 0);

} // namespace

DispositivosView::DispositivosView(base::StatusModel& status, Settings settings, QWidget* parent)
    : QDialog(parent), m_status(status), m_settings(std::move(settings)),
      m_leitor([](const base::Settings& s) { return app::DeviceRegistry(s).dispositivos(); })
{
    setObjectName(QStringLiteral("FrmDispositivos"));
    setWindowTitle(QStringLiteral("Dispositivos"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setModal(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);

    m_estado = new QLabel(this);
    m_estado->setObjectName(QStringLiteral("EstadoDispositivos"));
    m_estado->setWordWrap(true);
    m_estado->setTextFormat(Qt::PlainText);
    layout->addWidget(m_estado);

    m_abas = new QTabWidget(this);
    m_abas->setObjectName(QStringLiteral("AbasDispositivos"));
    layout->addWidget(m_abas, 1);

    m_listaConectados =
        lista("ListaConectados",
              {QStringLiteral("Dispositivo"), QStringLiteral("Versão"), QStringLiteral("Endereço"),
               QStringLiteral("Conectado desde"), QStringLiteral("Último pedido"), QStringLiteral("Pedidos"),
               QStringLiteral("Envios confirmados")},
              m_abas);
    m_abas->addTab(m_listaConectados, QString());

    auto* aguardando = new QWidget(m_abas);
    auto* aguardandoLayout = new QVBoxLayout(aguardando);
    aguardandoLayout->setContentsMargins(0, 0, 0, 0);
    aguardandoLayout->setSpacing(4);
    auto* explica = new QLabel(
        QStringLiteral("Dispositivos que se conectaram e ainda não foram liberados: o servidor recusa os "
                       "pedidos deles até a liberação. Um dispositivo liberado é aceito na próxima conexão."),
        aguardando);
    explica->setWordWrap(true);
    m_listaAguardando =
        lista("ListaAguardando",
              {QStringLiteral("Dispositivo"), QStringLiteral("Último contato"), QStringLiteral("Versão"),
               QStringLiteral("Rotas"), QStringLiteral("Conectado agora")},
              aguardando);
    m_liberar = new QPushButton(QStringLiteral("Liberar..."), aguardando);
    m_liberar->setObjectName(QStringLiteral("BtnLiberar"));
    m_liberar->setEnabled(false);
    m_liberar->setAutoDefault(false);
    auto* botoes = new QHBoxLayout;
    botoes->addStretch(1);
    botoes->addWidget(m_liberar);
    aguardandoLayout->addWidget(explica);
    aguardandoLayout->addWidget(m_listaAguardando, 1);
    aguardandoLayout->addLayout(botoes);
    m_abas->addTab(aguardando, QString());

    m_listaTodos =
        lista("ListaTodos",
              {QStringLiteral("Dispositivo"), QStringLiteral("Liberado"), QStringLiteral("Rotas"),
               QStringLiteral("Último contato"), QStringLiteral("Versão"), QStringLiteral("Conectado agora")},
              m_abas);
    m_abas->addTab(m_listaTodos, QString());

    m_listaAlertas = lista("ListaAlertas",
                           {QStringLiteral("Quando"), QStringLiteral("Tipo"), QStringLiteral("Valor"),
                            QStringLiteral("Carga"), QStringLiteral("Produtor"), QStringLiteral("Rota"),
                            QStringLiteral("Dispositivo")},
                           m_abas);
    m_abas->addTab(m_listaAlertas, QString());

    auto* fechar = new QDialogButtonBox(QDialogButtonBox::Close, this);
    fechar->button(QDialogButtonBox::Close)->setText(QStringLiteral("Fechar"));
    fechar->button(QDialogButtonBox::Close)->setAutoDefault(false);
    connect(fechar, &QDialogButtonBox::rejected, this, &QDialog::hide);
    layout->addWidget(fechar);

    connect(m_listaAguardando, &QTreeWidget::itemSelectionChanged, this,
            [this] { m_liberar->setEnabled(!m_listaAguardando->selectedItems().isEmpty()); });
    connect(m_listaAguardando, &QTreeWidget::itemActivated, this, [this] { liberaSelecionado(); });
    connect(m_liberar, &QPushButton::clicked, this, &DispositivosView::liberaSelecionado);

    m_timer.setInterval(kPeriodoMs);
    connect(&m_timer, &QTimer::timeout, this, &DispositivosView::atualiza);

    resize(820, 460);
    atualizaAbas();
    mostraEstado();
}

DispositivosView::~DispositivosView()
{
    m_timer.stop();
    if (m_leitura.joinable())
        m_leitura.join();
}

void DispositivosView::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    atualiza();
    m_timer.start();
}

void DispositivosView::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QDialog::hideEvent(event);
}

void DispositivosView::atualiza()
{
    atualizaModelo();
    leRegistro();
    mostraEstado();
}

bool DispositivosView::conectado(const std::string& id) const
{
    return std::find(m_conectados.begin(), m_conectados.end(), id) != m_conectados.end();
}

void DispositivosView::atualizaModelo()
{
    const base::StatusSnapshot s = m_status.snapshot();

    m_conectados.clear();
    m_listaConectados->clear();
    for (const base::ConexaoAtiva& c : s.conexoes) {
        m_conectados.push_back(c.dispositivo);
        auto* item = new QTreeWidgetItem(m_listaConectados);
        if (c.dispositivo.empty()) {
            item->setText(0, QStringLiteral("(sem identificação)"));
            item->setForeground(0, QColor(110, 110, 110));
        } else {
            item->setText(0, qs(c.dispositivo));
        }
        item->setText(1, semNada(c.versao));
        item->setText(2, qs(c.endereco));
        item->setText(3, momento(c.conectadoDesde));
        item->setText(4, c.ultimoPedido == base::WallClock::time_point{}
                             ? QStringLiteral("\u2014")
                             : momento(c.ultimoPedido) + QStringLiteral(" (%1)").arg(qs(c.ultimoCodigo)));
        item->setText(5, QString::number(c.pedidos));
        item->setText(6, QString::number(c.enviosConfirmados));
        for (int col : {5, 6})
            item->setTextAlignment(col, Qt::AlignRight | Qt::AlignVCenter);
    }
    ajustaColunas(m_listaConectados);

    m_listaAlertas->clear();
    // The latest first: that is the one the operator came for.
    for (auto a = s.alertas.rbegin(); a != s.alertas.rend(); ++a) {
        auto* item = new QTreeWidgetItem(m_listaAlertas);
        item->setText(0, momento(a->quando));
        item->setText(1, qs(a->tipo));
        item->setText(2, qs(a->valor));
        item->setText(3, qs(a->carga));
        item->setText(4, qs(a->produtor));
        item->setText(5, semNada(a->rota));
        item->setText(6, semNada(a->dispositivo));
        item->setForeground(2, kCorDeErro);
    }
    ajustaColunas(m_listaAlertas);

    // Who is connected shows in the register's lists too.
    mostraRegistro();
}

void DispositivosView::leRegistro()
{
    if (m_lendo) {
        // What that read returns may predate a release just written.
        m_lerDeNovo = true;
        return;
    }
    if (m_leitura.joinable())
        m_leitura.join();
    m_lendo = true;
    m_leitura = std::thread([this, settings = m_settings(), leitor = m_leitor] {
        auto leitura = std::make_shared<Leitura>();
        try {
            leitura->dispositivos = leitor(settings);
            leitura->ok = true;
        } catch (const std::exception& e) {
            leitura->erro = e.what();
        } catch (...) {
            leitura->erro = "erro desconhecido";
        }
        // Queued to the main thread; dropped if the view is gone by then
        // (its destructor joins this thread first).
        QMetaObject::invokeMethod(
            this, [this, leitura] { registroChegou(std::move(*leitura)); }, Qt::QueuedConnection);
    });
}

void DispositivosView::registroChegou(Leitura leitura)
{
    m_lendo = false;
    if (m_leitura.joinable())
        m_leitura.join();
    if (leitura.ok) {
        m_registro = std::move(leitura.dispositivos);
        m_erroRegistro.clear();
        m_lidoAlgumaVez = true;
        m_horaDoRegistro = qs(base::longTime(base::localNow().time));
    } else {
        // The lists keep what was last read; the state line says why it is old.
        m_erroRegistro = leitura.erro.empty() ? "erro desconhecido" : leitura.erro;
    }
    mostraRegistro();
    mostraEstado();
    if (m_lerDeNovo) {
        m_lerDeNovo = false;
        leRegistro();
    }
}

void DispositivosView::mostraRegistro()
{
    QString selecionado;
    if (QTreeWidgetItem* atual = m_listaAguardando->currentItem())
        selecionado = atual->data(0, Qt::UserRole).toString();

    m_listaTodos->clear();
    m_listaAguardando->clear();
    QTreeWidgetItem* reselecionar = nullptr;
    for (const app::DispositivoRegistrado& d : m_registro) {
        const QString id = qs(d.id);
        const QString contato = d.ultimaConexao ? momento(*d.ultimaConexao) : QStringLiteral("\u2014");
        const QString agora = conectado(d.id) ? QStringLiteral("Sim") : QString();

        auto* item = new QTreeWidgetItem(m_listaTodos);
        item->setText(0, id);
        item->setText(1, d.liberado == "S"   ? QStringLiteral("Sim")
                         : d.liberado == "N" ? QStringLiteral("Não")
                                             : QStringLiteral("Não (vazio)"));
        if (d.aguardandoLiberacao())
            item->setForeground(1, kCorDeEspera);
        item->setText(2, semNada(d.rotas));
        item->setText(3, contato);
        item->setText(4, semNada(d.versao));
        item->setText(5, agora);

        if (!d.aguardandoLiberacao())
            continue;
        auto* espera = new QTreeWidgetItem(m_listaAguardando);
        espera->setText(0, id);
        espera->setData(0, Qt::UserRole, id);
        espera->setData(3, Qt::UserRole, qs(d.rotas));
        espera->setText(1, contato);
        espera->setText(2, semNada(d.versao));
        espera->setText(3, semNada(d.rotas));
        espera->setText(4, agora);
        if (id == selecionado)
            reselecionar = espera;
    }
    if (reselecionar)
        m_listaAguardando->setCurrentItem(reselecionar);
    m_liberar->setEnabled(!m_listaAguardando->selectedItems().isEmpty());
    ajustaColunas(m_listaTodos);
    ajustaColunas(m_listaAguardando);
    atualizaAbas();
}

void DispositivosView::atualizaAbas()
{
    const int aguardando = m_listaAguardando->topLevelItemCount();
    m_abas->setTabText(0, QStringLiteral("Conectados (%1)").arg(m_listaConectados->topLevelItemCount()));
    m_abas->setTabText(1, QStringLiteral("Aguardando liberação (%1)").arg(aguardando));
    m_abas->setTabText(2, QStringLiteral("Todos os registrados (%1)").arg(m_listaTodos->topLevelItemCount()));
    m_abas->setTabText(3,
                       QStringLiteral("Alertas de qualidade (%1)").arg(m_listaAlertas->topLevelItemCount()));
    m_abas->tabBar()->setTabTextColor(1,
                                      aguardando > 0 ? kCorDeEspera : palette().color(QPalette::WindowText));
    m_abas->tabBar()->setTabTextColor(
        3, m_listaAlertas->topLevelItemCount() > 0 ? kCorDeErro : palette().color(QPalette::WindowText));
}

void DispositivosView::mostraEstado()
{
    QString texto;
    bool erro = false;
    if (!m_erroRegistro.empty()) {
        erro = true;
        texto = QStringLiteral("Registro de dispositivos indisponível: a base de dados não respondeu (%1).")
                    .arg(qs(m_erroRegistro));
        texto += m_lidoAlgumaVez
                     ? QStringLiteral(" As listas mostram a leitura das %1.").arg(m_horaDoRegistro)
                     : QStringLiteral(" Nova tentativa em instantes.");
    } else if (!m_lidoAlgumaVez) {
        texto = QStringLiteral("Lendo o registro de dispositivos...");
    } else {
        texto = QStringLiteral("Registro de dispositivos lido às %1.").arg(m_horaDoRegistro);
    }
    if (!m_aviso.isEmpty()) {
        texto += QLatin1Char('\n') + m_aviso;
        erro = erro || m_avisoDeErro;
    }
    m_estado->setText(texto);
    QPalette p = m_estado->palette();
    p.setColor(QPalette::WindowText, erro ? kCorDeErro : palette().color(QPalette::WindowText));
    m_estado->setPalette(p);
}

void DispositivosView::liberaSelecionado()
{
    QTreeWidgetItem* item = m_listaAguardando->currentItem();
    if (!item)
        return;
    const QString id = item->data(0, Qt::UserRole).toString();
    const QString rotasAtuais = item->data(3, Qt::UserRole).toString();
    const std::optional<QString> resposta =
        m_pedeLiberacao ? m_pedeLiberacao(id, rotasAtuais) : perguntaLiberacao(this, id, rotasAtuais);
    if (!resposta)
        return;
    const std::string idTexto = id.toStdString();
    const std::string rotas = resposta->trimmed().toStdString();
    try {
        if (app::DeviceRegistry(m_settings()).libera(idTexto, rotas)) {
            base::log("Dispositivo " + idTexto + " liberado pelo operador; rotas: " + rotas);
            m_aviso = QStringLiteral("Dispositivo %1 liberado; ele é aceito na próxima conexão.").arg(id);
            m_avisoDeErro = false;
        } else {
            m_aviso = QStringLiteral("O dispositivo %1 não está mais no registro: nada foi gravado.").arg(id);
            m_avisoDeErro = true;
        }
    } catch (const std::exception& e) {
        base::log("Falha ao liberar o dispositivo " + idTexto + ": " + e.what());
        m_aviso =
            QStringLiteral("Falha ao liberar o dispositivo %1: %2").arg(id, QString::fromUtf8(e.what()));
        m_avisoDeErro = true;
    }
    atualiza();
}

std::optional<QString> perguntaLiberacao(QWidget* parent, const QString& id, const QString& rotasAtuais)
{
    QDialog caixa(parent);
    caixa.setObjectName(QStringLiteral("PerguntaLiberacao"));
    caixa.setWindowTitle(QStringLiteral("Liberar dispositivo"));
    auto* layout = new QVBoxLayout(&caixa);
    auto* pergunta = new QLabel(QStringLiteral("Liberar o dispositivo \u201c%1\u201d?\n"
                                               "Ele passa a ser aceito na próxima vez que se conectar.")
                                    .arg(id),
                                &caixa);
    pergunta->setTextFormat(Qt::PlainText);
    auto* rotulo = new QLabel(QStringLiteral("Rotas do dispositivo (códigos separados por ;):"), &caixa);
    auto* rotas = new QLineEdit(rotasAtuais, &caixa);
    rotas->setObjectName(QStringLiteral("EdtRotas"));
    rotas->setMaxLength(200); // the width of DIS_ROTAS
    rotulo->setBuddy(rotas);
    auto* botoes = new QDialogButtonBox(&caixa);
    botoes->addButton(QStringLiteral("Liberar"), QDialogButtonBox::AcceptRole);
    botoes->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    QObject::connect(botoes, &QDialogButtonBox::accepted, &caixa, &QDialog::accept);
    QObject::connect(botoes, &QDialogButtonBox::rejected, &caixa, &QDialog::reject);
    layout->addWidget(pergunta);
    layout->addWidget(rotulo);
    layout->addWidget(rotas);
    layout->addWidget(botoes);
    if (caixa.exec() != QDialog::Accepted)
        return std::nullopt;
    return rotas->text();
}

} // namespace quelvor::ui
