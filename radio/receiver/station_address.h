#pragma once
// A station's UDP address as the station entry gives it: "a.b.c.d[:port] ...".

#include <cstdint>
#include <string_view>

namespace lumetra::radio {

inline constexpr uint16_t kDefaultStationPort = 3456;

struct StationAddress {
    uint32_t ipv4 = 0; // host order
    uint16_t port = kDefaultStationPort;
    bool valid = false; // false when the host part is not a dotted IPv4 address
};

// Cut at the first blank; the part after a colon is the port (leading digits,
// as atoi reads them); the host part must be dotted IPv4 (never looked up).
StationAddress ParseStationAddress(std::string_view text);

} // namespace lumetra::radio
