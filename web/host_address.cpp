#include "web/host_address.h"

#include <netdb.h>

#include <cstring>

namespace lumetra::web {

std::optional<HostAddress> ResolveHost(const std::string& host, uint16_t port, bool literalOnly)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = literalOnly ? AI_NUMERICHOST : 0;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return std::nullopt;
    const addrinfo* pick = nullptr;
    for (int family : {AF_INET, AF_INET6})
        for (const addrinfo* a = found; a && !pick; a = a->ai_next)
            if (a->ai_family == family)
                pick = a;
    std::optional<HostAddress> address;
    if (pick && pick->ai_addrlen <= sizeof address->bytes) {
        address.emplace();
        std::memcpy(&address->bytes, pick->ai_addr, pick->ai_addrlen);
        address->length = pick->ai_addrlen;
    }
    ::freeaddrinfo(found);
    return address;
}

} // namespace lumetra::web
