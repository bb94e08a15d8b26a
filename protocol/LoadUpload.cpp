#include "protocol/TConexao.h"

namespace quelvor::protocol {

void TConexao::gravaCarga(Request& r)
{
    (void)r;
}

} // namespace quelvor::protocol
