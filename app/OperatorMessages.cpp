#include "app/OperatorMessages.h"

namespace quelvor::app {

HandOverQueue& operatorMessages()
{
    static HandOverQueue queue;
    return queue;
}

} // namespace quelvor::app
