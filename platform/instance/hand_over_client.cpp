#include "platform/instance/hand_over_client.h"
#include "platform/instance/hand_over_wire.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lumetra::platform {
namespace {

using Clock = std::chrono::steady_clock;

class Socket {
public:
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

// Waits for events on fd until deadline; false on timeout or error.
bool WaitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{fd, events, 0};
        int n = ::poll(&p, 1, static_cast<int>(left));
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return false;
    }
}

} // namespace

OfferResult OfferPath(const std::string& socketPath, std::string_view path, std::chrono::milliseconds timeout)
{
    Clock::time_point deadline = Clock::now() + timeout;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path || path.size() > kMaxHandOverPathBytes)
        return OfferResult::NoListener;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    Socket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.Fd() < 0)
        return OfferResult::NoListener;
    if (::connect(socket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        // A full backlog: the listener is there but has not caught up.
        if (errno == EAGAIN)
            return OfferResult::Busy;
        return OfferResult::NoListener;
    }
    std::string request = EncodeHandOverRequest(path);
    std::size_t sent = 0;
    while (sent < request.size()) {
        ssize_t n = ::send(socket.Fd(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        // A listener that answered busy at once may already have hung up; its
        // answer is still there to read.
        if (n < 0 && errno == EPIPE)
            break;
        if (n < 0 && (errno == EAGAIN || errno == EINTR) && WaitFor(socket.Fd(), POLLOUT, deadline))
            continue;
        return OfferResult::NoAnswer;
    }
    for (;;) {
        char answer = 0;
        ssize_t n = ::recv(socket.Fd(), &answer, 1, 0);
        if (n == 1)
            return answer == kHandOverAccepted ? OfferResult::Accepted
                   : answer == kHandOverBusy   ? OfferResult::Busy
                                               : OfferResult::NoAnswer;
        if (n < 0 && (errno == EAGAIN || errno == EINTR) && WaitFor(socket.Fd(), POLLIN, deadline))
            continue;
        return OfferResult::NoAnswer;
    }
}

} // namespace lumetra::platform
