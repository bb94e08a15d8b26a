#pragma once
// The settings lists of the main window's three standing connections and how
// a connection is set up from one: disconnected, its settings cleared and
// refilled from the list, and connected again.

#include "base/Settings.h"
#include "db/Attachment.h"

#include <string>
#include <vector>

namespace quelvor::app {

// ConexaoTarvell: the ERP database's three fields.
std::vector<std::string> listaConexaoTarvell(const base::Settings& s);
// ConexaoTemp: the collection database's three fields, in its own order.
std::vector<std::string> listaConexaoTemp(const base::Settings& s);
// ConexaoColeta: the list of ConexaoTarvell filled from the collection fields.
std::vector<std::string> listaConexaoColeta(const base::Settings& s);

// The attachment settings a list stands for (Database, User_Name, Password),
// with no character set asked for, as the lists give none.
db::ConnectionParams parametrosDaLista(const std::vector<std::string>& lista);

// Disconnects, takes the list's settings and connects. Throws DbError.
void configuraConexao(db::Attachment& conexao, const std::vector<std::string>& lista);

} // namespace quelvor::app
