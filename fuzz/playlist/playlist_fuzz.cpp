// Damaged list files (".lst", ".m3u", ".pls"): whatever a list yields writes back
// and reads the same.
#include "playlist/foreign_lists.h"
#include "playlist/list_file.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string_view>

static bool IsFileAddress(const std::string& path)
{
    std::string start = path.substr(0, 7);
    for (char& c : start)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return start == "file://";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace lumetra::playlist;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ListFile list = ParseListFile(bytes);
    std::vector<std::string> kept;
    for (const std::string& entry : list.entries) {
        if (entry.size() > kMaxLineChars || entry.find('\0') != std::string::npos || entry.empty())
            __builtin_trap();
        if (IsWritableEntry(entry))
            kept.push_back(entry);
    }
    ListFile again = ParseListFile(FormatListFile(list.serial, list.entries));
    if (!again.isPlaylist || again.serial != list.serial || again.entries != kept)
        __builtin_trap();

    std::vector<M3uEntry> m3u;
    for (const std::string& path : ParseM3u(bytes)) {
        if (path.find_first_of(std::string_view("\r\n", 2)) != std::string::npos)
            __builtin_trap();
        if (path.find('\0') == std::string::npos && path.front() != '#' && path.front() != ' ' && path.back() != ' ' &&
            path.front() != '\t' && path.back() != '\t' && !IsFileAddress(path))
            m3u.push_back({path, 1, "t"});
    }
    std::vector<std::string> expected;
    for (const M3uEntry& entry : m3u)
        expected.push_back(entry.path);
    if (ParseM3u(FormatM3u8(m3u)) != expected)
        __builtin_trap();
    ParsePls(bytes);
    return 0;
}
