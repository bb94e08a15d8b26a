#pragma once
// The register of handhelds (DISPOSITIVOS) as the operator's views see it:
// every registered handheld with its release flag, routes, last contact and
// version, and the release of a waiting one.
//
// Each call makes its own short attachment to the collection database from
// the settings it was given (a copy, so any thread may use its own object)
// and closes it before returning; nothing is kept between calls. Values are
// always bound as statement parameters. Failures throw db::DbError and are
// not logged here: the caller decides how the operator hears of them.

#include "base/RegionalFormat.h"
#include "base/Settings.h"

#include <optional>
#include <string>
#include <vector>

namespace quelvor::app {

struct DispositivoRegistrado
{
    std::string id;       // DIS_ID
    std::string liberado; // DIS_LIBERADO: "S", "N", or empty when null
    std::string rotas;    // DIS_ROTAS; empty when null
    std::optional<base::Timestamp> ultimaConexao; // DIS_DATAHORACONEXAO; none when null
    std::string versao;   // DIS_VERSAOAPK; empty when null

    // The handshake lets a handheld in only when its flag is "S"; any other
    // value ("N", which a new handheld gets, or null) leaves it waiting.
    bool aguardandoLiberacao() const { return liberado != "S"; }
};

class DeviceRegistry
{
public:
    explicit DeviceRegistry(base::Settings settings);

    // Every registered handheld, by DIS_ID.
    std::vector<DispositivoRegistrado> dispositivos() const;
    // Only the ones waiting for release, by DIS_ID.
    std::vector<DispositivoRegistrado> aguardandoLiberacao() const;

    // Releases the handheld `id` with the given routes (DIS_LIBERADO = 'S',
    // DIS_ROTAS = rotas) and commits. False when no handheld has that id.
    bool libera(const std::string& id, const std::string& rotas) const;

private:
    const base::Settings m_settings;
};

} // namespace quelvor::app
