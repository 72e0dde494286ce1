#pragma once
// The receiver's UDP socket: non-blocking, small receive buffer, abortive close.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "radio/receiver/socket_result.h"

namespace lumetra::radio {

inline constexpr uint16_t kMulticastLocalPort = 3456;
inline constexpr int kReceiveBufferBytes = 4096;

// One read of the socket: a datagram (its length cut to the buffer, and its
// source in host order), nothing waiting, or a failure.
struct Received {
    enum class Kind { Datagram, NoneWaiting, Failed } kind = Kind::NoneWaiting;
    size_t bytes = 0;
    uint32_t ipv4 = 0;
    uint16_t port = 0;
    SocketResult result = SocketResult::Done();
};

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket() { Close(); }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Binds any local address, port 3456 for multicast, else any free port.
    SocketResult Open(bool multicast);
    // SO_LINGER on with time 0, then close: pending data is dropped.
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    SocketResult SendTo(uint32_t ipv4, uint16_t port, std::span<const uint8_t> bytes);
    Received Receive(std::span<uint8_t> buffer);
    SocketResult Join(std::string_view group, uint32_t interfaceIpv4);
    SocketResult Leave(std::string_view group, uint32_t interfaceIpv4);

private:
    SocketResult Membership(int option, std::string_view group, uint32_t interfaceIpv4);
    int m_fd = -1;
};

} // namespace lumetra::radio
