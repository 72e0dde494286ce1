#pragma once
// A server's socket address: IPv4 first, as the addresses were always dotted,
// then IPv6. Shared by the fetches and the stream download.

#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>

namespace lumetra::web {

struct HostAddress {
    sockaddr_storage bytes{};
    socklen_t length = 0;
};

// literalOnly: a dotted or IPv6 address only, never a look-up (which may block).
std::optional<HostAddress> ResolveHost(const std::string& host, uint16_t port, bool literalOnly = false);

} // namespace lumetra::web
