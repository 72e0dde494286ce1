#pragma once
// The REGEDIT4 text form of the settings store. Pure: text in, data out.

#include "platform/registry/registry_data.h"

#include <string>
#include <string_view>

namespace lumetra::platform {

// Reads every valid key header and value line; a line that cannot be read is
// skipped, so a damaged file yields whatever it still holds intact.
RegistryData ParseRegistryText(std::string_view text);

// Writes "REGEDIT4", then each key of each hive with its values. Strings that
// are plain printable text are written quoted, anything else as hex(1).
std::string FormatRegistryText(const RegistryData& data);

} // namespace lumetra::platform
