#include "base/OperatorMessages.h"

namespace quelvor::base {

HandOverQueue& operatorMessages()
{
    static HandOverQueue queue;
    return queue;
}

} // namespace quelvor::base
