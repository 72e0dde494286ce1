#include "radio/receiver/udp_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace lumetra::radio {

SocketResult UdpSocket::Open(bool multicast)
{
    Close();
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return SocketResult::Failed(errno);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(multicast ? kMulticastLocalPort : 0);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        int error = errno;
        m_fd = fd;
        Close();
        return SocketResult::Failed(error);
    }
    int size = kReceiveBufferBytes;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    m_fd = fd;
    return SocketResult::Done();
}

void UdpSocket::Close()
{
    if (m_fd < 0)
        return;
    linger abortive{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    ::close(m_fd);
    m_fd = -1;
}

SocketResult UdpSocket::SendTo(uint32_t ipv4, uint16_t port, std::span<const uint8_t> bytes)
{
    if (m_fd < 0)
        return SocketResult::Failed(EBADF);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(ipv4);
    to.sin_port = htons(port);
    ssize_t n = ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    return n < 0 ? SocketResult::Failed(errno) : SocketResult::Done();
}

Received UdpSocket::Receive(std::span<uint8_t> buffer)
{
    Received r;
    if (m_fd < 0) {
        r.kind = Received::Kind::Failed;
        r.result = SocketResult::Failed(EBADF);
        return r;
    }
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    ssize_t n = ::recvfrom(m_fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            r.kind = Received::Kind::Failed;
            r.result = SocketResult::Failed(errno);
        }
        return r;
    }
    r.kind = Received::Kind::Datagram;
    r.bytes = size_t(n);
    r.ipv4 = ntohl(from.sin_addr.s_addr);
    r.port = ntohs(from.sin_port);
    return r;
}

SocketResult UdpSocket::Membership(int option, std::string_view group, uint32_t interfaceIpv4)
{
    ip_mreq request{};
    std::string text(group);
    if (!inet_aton(text.c_str(), &request.imr_multiaddr))
        return SocketResult::Failed(EINVAL);
    request.imr_interface.s_addr = htonl(interfaceIpv4);
    if (::setsockopt(m_fd, IPPROTO_IP, option, &request, sizeof request) != 0)
        return SocketResult::Failed(errno);
    return SocketResult::Done();
}

SocketResult UdpSocket::Join(std::string_view group, uint32_t interfaceIpv4)
{
    return Membership(IP_ADD_MEMBERSHIP, group, interfaceIpv4);
}

SocketResult UdpSocket::Leave(std::string_view group, uint32_t interfaceIpv4)
{
    return Membership(IP_DROP_MEMBERSHIP, group, interfaceIpv4);
}

} // namespace lumetra::radio
