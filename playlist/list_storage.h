#pragma once
// Reading and writing list files on disk: bounded reads that never block on a
// FIFO or a device, and writes by atomic replace.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lumetra::playlist {

// More than any list of real files needs (library.lst of 200,000 long paths).
inline constexpr std::size_t kMaxListFileBytes = 64u << 20;

// The bytes of a regular file, at most maxBytes of them; nothing when the path
// cannot be opened or is not a regular file (a folder, FIFO or device).
std::optional<std::string> ReadListFile(const std::string& path, std::size_t maxBytes = kMaxListFileBytes);

// Writes a temporary file beside path, flushes it to disk and renames it over
// path (a symbolic link is followed to the file it names). On failure the old
// file is left as it was and false is returned.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

// False for paths that exist but are not regular files: opening a FIFO or a
// device to look at its first kilobyte could block or have effects.
bool MayHoldMedia(const std::string& path);

// The absolute form of path (relative to the current folder), without resolving links.
std::string AbsolutePath(const std::string& path);

} // namespace lumetra::playlist
