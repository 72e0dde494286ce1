#include "platform/instance/hand_over_server.h"
#include "platform/instance/hand_over_wire.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace lumetra::platform {
namespace {

constexpr int kBacklog = 16;
// Connections taken per wake-up, so a flood cannot hold the main thread.
constexpr int kAcceptsPerWake = 32;

bool PeerIsThisUser(int fd)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 && credentials.uid == ::getuid();
}

void SendByte(int fd, char byte)
{
    // One byte into an empty socket buffer; a peer that is gone is no matter.
    (void)::send(fd, &byte, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
}

} // namespace

int ListenForHandOvers(const std::string& socketPath, std::string* error)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) {
        if (error)
            *error = "the socket path is too long: " + socketPath;
        return -1;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error)
            *error = std::string("cannot make a socket: ") + std::strerror(errno);
        return -1;
    }
    // A socket file left by a player that was killed: we hold the lock, so no
    // live player listens there.
    ::unlink(socketPath.c_str());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, kBacklog) != 0) {
        if (error)
            *error = "cannot listen on " + socketPath + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

HandOverServer::HandOverServer(int listenFd, std::string socketPath, Handler handler)
    : m_listenFd(listenFd), m_socketPath(std::move(socketPath)), m_handler(std::move(handler))
{
    m_listenWatch = std::make_unique<FdWatch>(m_listenFd, [this] { AcceptPending(); });
    m_timeout.SetSingleShot(true);
    m_timeout.SetCallback([this] { DropCurrent(); });
    // Peers that connected before the event loop ran are waiting in the backlog.
    m_scope.Post([this] { AcceptPending(); });
}

HandOverServer::~HandOverServer()
{
    DropCurrent();
    m_listenWatch.reset();
    ::close(m_listenFd);
    ::unlink(m_socketPath.c_str());
}

void HandOverServer::AcceptPending()
{
    for (int i = 0; i < kAcceptsPerWake; ++i) {
        int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (!PeerIsThisUser(fd)) {
            ::close(fd);
            continue;
        }
        if (m_fd >= 0) {
            SendByte(fd, kHandOverBusy);
            ::close(fd);
            continue;
        }
        m_fd = fd;
        m_reader = std::make_unique<HandOverRequestReader>();
        m_readWatch = std::make_unique<FdWatch>(m_fd, [this] { ReadRequest(); });
        m_timeout.Start(kRequestTimeoutMs);
        ReadRequest();
    }
}

void HandOverServer::ReadRequest()
{
    if (m_fd < 0)
        return;
    std::array<char, 1024> buffer;
    for (;;) {
        ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0) {
            DropCurrent();
            return;
        }
        switch (m_reader->Feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)))) {
        case HandOverRequestReader::Status::NeedMore:
            continue;
        case HandOverRequestReader::Status::Invalid:
            DropCurrent();
            return;
        case HandOverRequestReader::Status::Complete: {
            std::string path = m_reader->Path();
            bool accepted = m_handler && m_handler(path);
            Answer(accepted ? kHandOverAccepted : kHandOverBusy);
            return;
        }
        }
    }
}

void HandOverServer::Answer(char answer)
{
    if (m_fd >= 0)
        SendByte(m_fd, answer);
    DropCurrent();
}

void HandOverServer::DropCurrent()
{
    m_timeout.Stop();
    m_readWatch.reset();
    m_reader.reset();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace lumetra::platform
