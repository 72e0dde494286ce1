#pragma once
// The REGEDIT4 text form of the settings store. Pure: text in, data out.

#include "platform/registry/registry_data.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lumetra::platform {

// Reads every valid key header and value line; a line that cannot be read is
// skipped, so a damaged file yields whatever it still holds intact.
RegistryData ParseRegistryText(std::string_view text);

// What a settings file may hold before it counts as damaged: keys nested at most
// 64 levels (and key paths of at most 4 KiB), values of at most 1 MiB, files of
// at most 16 MiB, and all key paths together (every level counted, as they are
// kept and written) at most 64 MiB.
inline constexpr std::size_t kRegistryMaxDepth = 64;
inline constexpr std::size_t kRegistryMaxKeyPath = 4096;
inline constexpr std::size_t kRegistryMaxValueBytes = 1 << 20;
inline constexpr std::size_t kRegistryMaxFileBytes = 16 << 20;
inline constexpr std::size_t kRegistryMaxKeyBytes = 64 << 20;

// As ParseRegistryText, but a text beyond those limits is refused: nullopt, and
// reason says which limit it broke.
std::optional<RegistryData> ParseRegistryTextWithin(std::string_view text, std::string& reason);

// Writes "REGEDIT4", then each key of each hive with its values. Strings that
// are plain printable text are written quoted, anything else as hex(1).
std::string FormatRegistryText(const RegistryData& data);

} // namespace lumetra::platform
