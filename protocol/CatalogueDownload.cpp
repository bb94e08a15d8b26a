#include "protocol/TConexao.h"

namespace quelvor::protocol {

void TConexao::catalogo(Request& r, const std::string& baseStatement, const std::string& tabela)
{
    (void)r;
    (void)baseStatement;
    (void)tabela;
}

} // namespace quelvor::protocol
