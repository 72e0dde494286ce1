#pragma once
// Where the station directory, station records and links come from:
// LUMETRA_DIRECTORY=HOST:PORT when set, else the setting
// "...\Lumetra Media Player\Settings\DirectoryServer", else the directory
// service that `lumetra-station --demo` runs on this machine.

#include <cstdint>
#include <string>

namespace lumetra::web {

inline constexpr const char* kDefaultDirectoryHost = "127.0.0.1";
inline constexpr uint16_t kDefaultDirectoryPort = 8642;

struct Endpoint {
    std::string host;
    uint16_t port = 80;
};

// "HOST", "HOST:PORT"; false for an empty host or a bad port.
bool ParseEndpoint(const std::string& text, Endpoint& out);
Endpoint DirectoryServer();

} // namespace lumetra::web
