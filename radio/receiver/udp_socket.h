#pragma once
// The receiver's UDP socket: non-blocking, small receive buffer, abortive close.

#include <cstdint>
#include <span>
#include <string_view>
#include <sys/types.h>

namespace lumetra::radio {

inline constexpr uint16_t kMulticastLocalPort = 3456;
inline constexpr int kReceiveBufferBytes = 4096;

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket() { Close(); }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Binds any local address, port 3456 for multicast, else any free port.
    // 0 on success, else errno.
    int Open(bool multicast);
    // SO_LINGER on with time 0, then close: pending data is dropped.
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    int SendTo(uint32_t ipv4, uint16_t port, std::span<const uint8_t> bytes);
    // The datagram's length (cut to the buffer), 0 when none is waiting (error 0),
    // or -1 with error set.
    ssize_t Receive(std::span<uint8_t> buffer, uint32_t& ipv4, uint16_t& port, int& error);
    int Join(std::string_view group, uint32_t interfaceIpv4);
    int Leave(std::string_view group, uint32_t interfaceIpv4);

private:
    int Membership(int option, std::string_view group, uint32_t interfaceIpv4);
    int m_fd = -1;
};

} // namespace lumetra::radio
