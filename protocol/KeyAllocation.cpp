#include "protocol/TConexao.h"

namespace quelvor::protocol {

void TConexao::solicitaGenerator(Request& r)
{
    (void)r;
}

} // namespace quelvor::protocol
