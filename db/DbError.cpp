#include "db/DbError.h"

#include <algorithm>
#include <firebird/Interface.h>

namespace quelvor::db {
namespace {

bool has(const std::vector<long>& codes, long code)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

} // namespace

bool DbError::isConflict() const
{
    return (has(m_codes, isc_update_conflict) || has(m_codes, isc_deadlock)) &&
           !has(m_codes, isc_lock_timeout) && !isCancelled();
}

bool DbError::isCancelled() const
{
    return has(m_codes, isc_cancelled);
}

bool DbError::isConnectionLost() const
{
    for (long code : {isc_network_error, isc_net_read_err, isc_net_write_err, isc_lost_db_connection,
                      isc_conn_lost, isc_shutdown, isc_att_shutdown, isc_bad_db_handle, isc_io_error})
        if (has(m_codes, code))
            return true;
    return false;
}

} // namespace quelvor::db
