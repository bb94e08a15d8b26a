#include "protocol/TConexao.h"

namespace quelvor::protocol {

void TConexao::gravaColeta(Request& r)
{
    (void)r;
}

} // namespace quelvor::protocol
