#include "protocol/TConexao.h"

namespace quelvor::protocol {

void TConexao::gravaRastreamento(Request& r)
{
    (void)r;
}

} // namespace quelvor::protocol
