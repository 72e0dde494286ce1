#pragma once
// Profile (INI) files in $XDG_CONFIG_HOME/lumetra/ ("cdplayer.ini", "zeph.ini"):
// "[section]" lines and "key=value" lines, section and key names compared without
// regard to case. Reads take at most 1 MiB of a file; writes replace the file
// atomically so a crash leaves the old one or the new one.

#include <string>

namespace lumetra::platform {

// $XDG_CONFIG_HOME/lumetra/NAME (else ~/.config/lumetra/NAME).
std::string ProfilePath(const std::string& name);

// The value, or fallback when the file, section or key is missing; values longer
// than maxLength characters are cut.
std::string ReadProfileString(const std::string& file, const std::string& section, const std::string& key,
                              const std::string& fallback, std::size_t maxLength = 127);
// Adds or replaces the key; false when the file cannot be written.
bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value);

} // namespace lumetra::platform
