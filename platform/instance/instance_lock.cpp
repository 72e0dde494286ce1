#include "platform/instance/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lumetra::platform {

InstanceLock::InstanceLock(std::string path) : m_path(std::move(path)) {}

InstanceLock::InstanceLock(std::string path, int heldFd) : m_path(std::move(path)), m_fd(heldFd), m_owned(heldFd >= 0)
{
}

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

InstanceLock::Claim InstanceLock::TryClaim()
{
    if (m_owned)
        return Claim::Owner;
    if (m_fd < 0) {
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd < 0) {
            m_error = "cannot open " + m_path + ": " + std::strerror(errno);
            return Claim::Unavailable;
        }
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        m_owned = true;
        return Claim::Owner;
    }
    if (errno == EWOULDBLOCK || errno == EINTR)
        return Claim::Taken;
    m_error = "cannot lock " + m_path + ": " + std::strerror(errno);
    return Claim::Unavailable;
}

} // namespace lumetra::platform
