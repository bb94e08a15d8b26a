#include "app/Service.h"

#include "base/OperatorLog.h"
#include "db/Attachment.h"

#include <sys/resource.h>

namespace quelvor::app {

unsigned long raiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return static_cast<unsigned long>(limit.rlim_cur);
}

Service::Service(FrontEnd& front)
    : m_descriptors(raiseDescriptorLimit()), m_listener(m_state), m_core(front, m_state, m_listener),
      m_sincronizacao(m_core), m_statusPage(m_state, [this] {
          auto uso = [](const char* nome, const db::AttachmentPool& p) {
              return UsoDoPool{nome, p.inUseCount(), p.idleCount(), p.limit()};
          };
          return std::vector<UsoDoPool>{uso("coleta", m_listener.poolColeta()),
                                        uso("tarvell", m_listener.poolTarvell())};
      })
{
    // Errors met where nothing can be raised (a destructor's commit, say) go
    // to the operator log. Queued only: such a call may come from a
    // destructor, where letting events run would be out of place.
    db::setQuietErrorHandler(
        [](const std::string& message) { base::OperatorLog::instance().append(message); });
}

Service::~Service()
{
    // A front end that returned without the exit sequence still stops every
    // connection thread here, while the front end and the state are alive.
    try {
        m_core.FormDestroy();
    } catch (...) {
    }
}

} // namespace quelvor::app
