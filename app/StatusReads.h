#pragma once
// What the status page reads itself from the collection database: the
// handhelds waiting for release (through DeviceRegistry) and today's
// collections and litres per route. Short-lived attachments of its own,
// made and closed by the calling thread, with a short lock wait, so the page
// neither holds an attachment between reads nor takes one from the
// handhelds' pools. Any thread.

#include "app/StatusHtml.h"
#include "base/Settings.h"

#include <string>

namespace quelvor::app {

// `dia` is the day whose collections are counted, as yyyy-mm-dd (bound, never
// spliced). A database that cannot be reached or a statement that fails
// comes back as respondeu false with the error's text; nothing is thrown.
// The collection database is the one of `settings`, with a lock wait of two
// seconds at most.
LeituraDaBase leStatusDaBase(const base::Settings& settings, const std::string& dia);

} // namespace quelvor::app
