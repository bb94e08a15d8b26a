#pragma once
// The "Dispositivos" view: the handhelds connected now (from the status
// model), every registered handheld and the ones waiting for release (from
// DISPOSITIVOS), with "Liberar", and the quality alerts of the model.
//
// Main thread only. While it is shown a timer refreshes it: the model at
// every tick, the register on a thread of its own (one read at a time, joined
// before the next and by the destructor), so that a database that is slow to
// answer never holds the window; a failed read is said in the view's state
// line, never in a box. "Liberar" asks the operator (routes prefilled), writes
// through app::DeviceRegistry on the main thread, logs and refreshes.

#include "app/DeviceRegistry.h"
#include "base/Settings.h"
#include "base/StatusModel.h"

#include <QDialog>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class QLabel;
class QPushButton;
class QTabWidget;
class QTreeWidget;

namespace quelvor::ui {

class DispositivosView : public QDialog
{
    Q_OBJECT
public:
    // The settings of the moment (the register is read with them).
    using Settings = std::function<base::Settings()>;
    // Asks the operator to release handheld `id`: the routes to give it when
    // confirmed, nothing when cancelled. Tests answer it.
    using PedeLiberacao =
        std::function<std::optional<QString>(const QString& id, const QString& rotasAtuais)>;
    // Reads the register (on the view's reading thread). Tests may replace it.
    using Leitor = std::function<std::vector<app::DispositivoRegistrado>(const base::Settings&)>;

    static constexpr int kPeriodoMs = 3000;

    DispositivosView(base::StatusModel& status, Settings settings, QWidget* parent = nullptr);
    ~DispositivosView() override;

    void setPedeLiberacao(PedeLiberacao pede) { m_pedeLiberacao = std::move(pede); }
    void setLeitor(Leitor leitor) { m_leitor = std::move(leitor); }

    // Refreshes the model's lists at once and starts a read of the register
    // unless one is under way.
    void atualiza();
    // No read of the register under way nor asked for (tests wait for it).
    bool registroLido() const { return !m_lendo && !m_lerDeNovo; }
    // Releases the handheld selected in the waiting list, as "Liberar" does.
    void liberaSelecionado();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Leitura
    {
        bool ok = false;
        std::vector<app::DispositivoRegistrado> dispositivos;
        std::string erro;
    };

    void atualizaModelo();
    void leRegistro();
    void registroChegou(Leitura leitura);
    void mostraRegistro();
    void mostraEstado();
    void atualizaAbas();
    bool conectado(const std::string& id) const;

    base::StatusModel& m_status;
    const Settings m_settings;
    PedeLiberacao m_pedeLiberacao;
    Leitor m_leitor;

    QTimer m_timer;
    std::thread m_leitura;
    bool m_lendo = false;
    bool m_lerDeNovo = false; // asked for while a read was under way
    bool m_lidoAlgumaVez = false;
    std::string m_erroRegistro; // the last read's failure; empty after a good one
    QString m_horaDoRegistro;   // when the register was last read well
    QString m_aviso;            // the last release's outcome
    bool m_avisoDeErro = false;
    std::vector<app::DispositivoRegistrado> m_registro;
    std::vector<std::string> m_conectados; // devices of the connections shown

    QLabel* m_estado = nullptr;
    QTabWidget* m_abas = nullptr;
    QTreeWidget* m_listaConectados = nullptr;
    QTreeWidget* m_listaAguardando = nullptr;
    QTreeWidget* m_listaTodos = nullptr;
    QTreeWidget* m_listaAlertas = nullptr;
    QPushButton* m_liberar = nullptr;
};

// The default question of "Liberar": one box with the handheld, the routes
// field prefilled, and "Liberar" / "Cancelar".
std::optional<QString> perguntaLiberacao(QWidget* parent, const QString& id, const QString& rotasAtuais);

} // namespace quelvor::ui
