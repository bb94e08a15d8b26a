#include "app/DeviceRegistry.h"

#include "db/Attachment.h"
#include "db/QueryHelpers.h"

#include <utility>
#include <variant>

namespace quelvor::app {

namespace {

std::string textOf(const db::Value& value)
{
    if (const auto* s = std::get_if<std::string>(&value.data))
        return *s;
    return {};
}

// A short attachment of its own; the caller's statements wait no longer for a
// locked row than the handhelds' requests do.
db::Attachment attach(const base::Settings& settings)
{
    return db::Attachment(db::parametrosDaBase(settings, false));
}

} // namespace

DeviceRegistry::DeviceRegistry(base::Settings settings) : m_settings(std::move(settings)) {}

std::vector<DispositivoRegistrado> DeviceRegistry::dispositivos() const
{
    db::Attachment conexao = attach(m_settings);
    const db::ResultSet rows = conexao.select(
        "SELECT DIS_ID, DIS_LIBERADO, DIS_ROTAS, DIS_DATAHORACONEXAO, DIS_VERSAOAPK FROM DISPOSITIVOS "
        "ORDER BY DIS_ID");
    conexao.close();

    std::vector<DispositivoRegistrado> lista;
    lista.reserve(rows.size());
    for (const auto& row : rows.rows) {
        DispositivoRegistrado d;
        d.id = textOf(row[0]);
        d.liberado = textOf(row[1]);
        d.rotas = textOf(row[2]);
        if (const auto* ts = std::get_if<base::Timestamp>(&row[3].data))
            d.ultimaConexao = *ts;
        d.versao = textOf(row[4]);
        lista.push_back(std::move(d));
    }
    return lista;
}

std::vector<DispositivoRegistrado> DeviceRegistry::aguardandoLiberacao() const
{
    std::vector<DispositivoRegistrado> lista = dispositivos();
    std::erase_if(lista, [](const DispositivoRegistrado& d) { return !d.aguardandoLiberacao(); });
    return lista;
}

bool DeviceRegistry::libera(const std::string& id, const std::string& rotas) const
{
    db::Attachment conexao = attach(m_settings);
    // The update alone does not say whether it matched a row; the look-up and
    // the update share one transaction, so they see the same register.
    const db::ResultSet existe =
        conexao.select({"SELECT DIS_ID FROM DISPOSITIVOS WHERE DIS_ID = ?", {db::text(id)}});
    if (existe.empty()) {
        conexao.close();
        return false;
    }
    conexao.execute({"UPDATE DISPOSITIVOS SET DIS_LIBERADO = 'S', DIS_ROTAS = ? WHERE DIS_ID = ?",
                     {db::text(rotas), db::text(id)}});
    conexao.close();
    return true;
}

} // namespace quelvor::app
