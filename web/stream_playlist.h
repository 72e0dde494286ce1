#pragma once
// Finding the stream address in a stream playlist (".m3u", ".pls", ...). Pure.

#include <optional>
#include <string>
#include <string_view>

namespace lumetra::web {

// The first line beginning with "http://" (exactly) or "File1=http://" (any
// letter case, "File1=" dropped). Only lines followed by a line end count.
std::optional<std::string> FindStreamAddress(std::string_view playlistText);

// Whether a file name names a stream playlist: ".m3u", ".pls", ".plr", ".cgi"
// or ".pl" at its end, in any letter case.
bool IsStreamPlaylistName(std::string_view path);

} // namespace lumetra::web
