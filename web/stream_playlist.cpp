#include "web/stream_playlist.h"

#include "web/http_text.h"

#include <array>

namespace lumetra::web {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char a = text[i], b = prefix[i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<char>(b - 'A' + 'a');
        if (a != b)
            return false;
    }
    return true;
}

} // namespace

std::optional<std::string> FindStreamAddress(std::string_view playlistText)
{
    std::string buffer(playlistText);
    std::string line;
    size_t offset = 0;
    while ((offset = NextLine(buffer, offset, line)) != 0) {
        if (line.starts_with("http://"))
            return line;
        if (StartsWithNoCase(line, "File1=http://"))
            return line.substr(6);
    }
    return std::nullopt;
}

bool IsStreamPlaylistName(std::string_view path)
{
    static constexpr std::array<std::string_view, 5> kEndings = {".m3u", ".pls", ".plr", ".cgi", ".pl"};
    for (std::string_view ending : kEndings)
        if (path.size() >= ending.size() && StartsWithNoCase(path.substr(path.size() - ending.size()), ending))
            return true;
    return false;
}

} // namespace lumetra::web
