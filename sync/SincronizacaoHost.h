#pragma once
// What a synchronisation run needs of the main window, and all it may reach of
// it. The main window core (TFrmPrincipal, in app/) implements it; the tests
// implement it over scratch databases. Main thread only.

#include "base/StatusModel.h"
#include "db/Attachment.h"

#include <string>

namespace quelvor::sync {

class SincronizacaoHost
{
public:
    virtual ~SincronizacaoHost() = default;

    // The ERP integration switch as the operator left it (ch_integratarvell).
    virtual bool integracaoAtiva() const = 0;
    // The application is ending: a run stops at its next row.
    virtual bool exitRequested() const = 0;

    // The standing connections: the ERP read (ConexaoTarvell) and the
    // collection database written (ConexaoTemp). Opened by the service start,
    // closed by its stop, possibly in the middle of a run.
    virtual db::Attachment& conexaoTarvell() = 0;
    virtual db::Attachment& conexaoTemp() = 0;
    // Goes up every time the service sets up or closes those two connections
    // (a start, a stop, the restart after a save). A run compares it between
    // rows: once it has moved, the rows still to come belong to connections
    // that are gone, and the reopened ones may lead to other databases.
    virtual unsigned geracaoConexoes() const = 0;

    // The run counter (contadorSincronizacao): every click counts, and the
    // averages are copied once it passes 10.
    virtual int& contadorSincronizacao() = 0;

    // The progress text of the status bar's last panel.
    virtual void mostraProgresso(const std::string& texto) = 0;
    // The check mark of "Sincronizar Dados": a run is under way.
    virtual void setSyncBusy(bool busy) = 0;
    // Lets the main thread's pending events run between rows.
    virtual void processPendingEvents() = 0;
    // Where a run tells its start, its counts per table and its end; none:
    // nobody is told.
    virtual base::StatusModel* statusModel() { return nullptr; }
};

} // namespace quelvor::sync
