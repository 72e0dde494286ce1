#pragma once
// Playlists written by other players: ".m3u", ".m3u8" (extended, UTF-8) and
// ".pls". Pure: bytes in, entries out, in their order, unresolved.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumetra::playlist {

enum class ForeignListKind { None, M3u, Pls };

// By the name's extension, in any letter case: ".m3u" and ".m3u8", ".pls".
ForeignListKind ForeignListKindOf(std::string_view path);

// Lists are read to their first 100,000 entries: a hostile list of millions of
// short lines held the player for many seconds and hundreds of megabytes.
inline constexpr std::size_t kMaxForeignEntries = 100000;

// Lines end at LF, CR LF or CR; a UTF-8 byte order mark, "#" lines and empty lines
// are skipped; "file://" addresses become paths.
std::vector<std::string> ParseM3u(std::string_view bytes);

// "FileN=" keys (any letter case), ordered by N; other keys and sections are ignored.
std::vector<std::string> ParsePls(std::string_view bytes);

struct M3uEntry {
    std::string path;
    int64_t seconds = -1; // -1 unknown
    std::string title;
};
// "#EXTM3U", then "#EXTINF:SECONDS,TITLE" and the path for each entry, LF ends.
std::string FormatM3u8(const std::vector<M3uEntry>& entries);

} // namespace lumetra::playlist
