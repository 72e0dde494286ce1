#pragma once
// Registry values addressed by one string. For writing, a value string:
// "key path\value name=data", the data optionally typed by "REG_SZ:",
// "REG_DWORD:" or "REG_BINARY:". For reading, a value path: "key path\value name".

#include "platform/registry/registry_data.h"

#include <string>
#include <string_view>

namespace lumetra::settings {

using platform::RegistryRoot;

// Longest value string considered, and the read buffer of a value.
inline constexpr size_t kValueStringLimit = 4095;
inline constexpr size_t kValueReadLimit = 4000;

// Splits the value string and writes it; nothing when it is empty or has no
// backslash before its "=".
void WriteRegistryString(RegistryRoot root, std::string_view valueString);
// Creates the key, strips the data's type prefix and stores the value; nothing
// when the key path is empty.
void WriteRegistryValue(RegistryRoot root, std::string_view keyPath, std::string_view valueName, std::string_view data);
// out becomes empty, then the value's text when it exists. 1 for an empty
// path, -1 when the key does not exist, 0 otherwise.
int ReadRegistryString(RegistryRoot root, std::string_view valuePath, std::string& out);
// -1 for an empty path, a missing key or value; else the text read as a signed
// decimal number (leading white space skipped, 0 without digits).
int ReadRegistryNumber(RegistryRoot root, std::string_view valuePath);

// Decimal conversion as the numbers above are read: white space, sign, digits.
int DecimalValue(std::string_view text);

} // namespace lumetra::settings
