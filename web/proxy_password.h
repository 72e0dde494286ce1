#pragma once
// The stored form of the proxy password: its bytes scrambled with a key made
// from the user name, as upper-case hexadecimal. Pure.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumetra::web {

uint32_t ProxyPasswordKey(std::string_view userName);
// Its own inverse: the same key turns scrambled bytes back.
void ScrambleBytes(uint8_t* bytes, size_t count, uint32_t key);

std::string EncodeProxyPassword(std::string_view password, std::string_view userName);
// Ends at the first NUL of the unscrambled bytes.
std::string DecodeProxyPassword(std::string_view stored, std::string_view userName);

} // namespace lumetra::web
