#include "app/InstanceLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace quelvor::app {

InstanceLock::InstanceLock(const std::string& configPath)
{
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::absolute(configPath, ec).parent_path();
    if (ec || folder.empty())
        folder = ".";
    m_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) {
        m_problem = folder.string() + ": " + std::strerror(errno);
        return;
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        m_held = true;
        return;
    }
    if (errno == EWOULDBLOCK)
        m_takenByOther = true;
    else
        m_problem = folder.string() + ": " + std::strerror(errno);
    ::close(m_fd);
    m_fd = -1;
}

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}

} // namespace quelvor::app
