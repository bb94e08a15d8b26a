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

} // namespace quelvor::db
