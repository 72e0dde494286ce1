#pragma once
// Hexadecimal text used with registry values (binary data, the proxy password).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumetra::settings {

// Two upper-case digits per byte ("%02X").
std::string HexEncode(const uint8_t* bytes, size_t count);
// Each pair of characters becomes one byte; a lone last character is ignored.
std::vector<uint8_t> HexDecode(std::string_view text);
// 0-9, A-F, a-f give their value; any other character gives 0.
int HexDigitValue(char c);

} // namespace lumetra::settings
