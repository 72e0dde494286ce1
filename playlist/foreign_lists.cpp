#include "playlist/foreign_lists.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace lumetra::playlist {
namespace {

bool SameNoCase(char a, char b)
{
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

bool EndsWithNoCase(std::string_view text, std::string_view end)
{
    if (text.size() < end.size())
        return false;
    return std::equal(end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()), SameNoCase);
}

bool StartsWithNoCase(std::string_view text, std::string_view start)
{
    return text.size() >= start.size() && std::equal(start.begin(), start.end(), text.begin(), SameNoCase);
}

// The first maxLines lines that are not empty.
std::vector<std::string_view> SplitLines(std::string_view bytes, std::size_t maxLines = 4 * kMaxForeignEntries)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size() && bytes[i] != '\n' && bytes[i] != '\r')
            continue;
        std::string_view line = bytes.substr(start, i - start);
        // Leading and trailing blanks are not part of a path in these lists.
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        line = line.substr(0, line.find('\0'));
        if (!line.empty())
            lines.push_back(line);
        if (lines.size() == maxLines)
            break;
        if (i + 1 < bytes.size() && bytes[i] == '\r' && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    return lines;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// "file:///music/a%20b.mp3" -> "/music/a b.mp3"; anything else as it stands.
std::string EntryPath(std::string_view entry)
{
    if (!StartsWithNoCase(entry, "file://"))
        return std::string(entry);
    entry.remove_prefix(7);
    if (entry.starts_with("localhost/"))
        entry.remove_prefix(9);
    std::string path;
    for (std::size_t i = 0; i < entry.size(); ++i) {
        int hi, lo;
        if (entry[i] == '%' && i + 2 < entry.size() && (hi = HexValue(entry[i + 1])) >= 0 &&
            (lo = HexValue(entry[i + 2])) >= 0 && (hi << 4 | lo) >= 0x20) {
            path += static_cast<char>(hi << 4 | lo);
            i += 2;
        } else {
            path += entry[i];
        }
    }
    return path;
}

} // namespace

ForeignListKind ForeignListKindOf(std::string_view path)
{
    if (EndsWithNoCase(path, ".m3u") || EndsWithNoCase(path, ".m3u8"))
        return ForeignListKind::M3u;
    if (EndsWithNoCase(path, ".pls"))
        return ForeignListKind::Pls;
    return ForeignListKind::None;
}

std::vector<std::string> ParseM3u(std::string_view bytes)
{
    std::vector<std::string> entries;
    for (std::string_view line : SplitLines(bytes)) {
        if (line.front() == '#')
            continue;
        if (std::string path = EntryPath(line); !path.empty())
            entries.push_back(std::move(path));
        if (entries.size() == kMaxForeignEntries)
            break;
    }
    return entries;
}

std::vector<std::string> ParsePls(std::string_view bytes)
{
    std::map<long, std::string> numbered;
    for (std::string_view line : SplitLines(bytes)) {
        if (!StartsWithNoCase(line, "file"))
            continue;
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 4 || equals > 14)
            continue;
        long number = 0;
        bool digits = true;
        for (char c : line.substr(4, equals - 4)) {
            digits = digits && c >= '0' && c <= '9';
            number = number * 10 + (c - '0');
        }
        std::string_view value = line.substr(equals + 1);
        if (std::string path = EntryPath(value); digits && !path.empty())
            numbered.emplace(number, std::move(path));
        if (numbered.size() == kMaxForeignEntries)
            break;
    }
    std::vector<std::string> entries;
    for (auto& [number, path] : numbered)
        entries.push_back(std::move(path));
    return entries;
}

std::string FormatM3u8(const std::vector<M3uEntry>& entries)
{
    std::string text = "#EXTM3U\n";
    for (const M3uEntry& entry : entries) {
        if (entry.path.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            continue; // would read back as two lines
        std::string title = entry.title;
        std::replace(title.begin(), title.end(), '\n', ' ');
        std::replace(title.begin(), title.end(), '\r', ' ');
        text += "#EXTINF:" + std::to_string(entry.seconds) + "," + title + "\n";
        text += entry.path + "\n";
    }
    return text;
}

} // namespace lumetra::playlist
