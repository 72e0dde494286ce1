#include "playlist/list_file.h"
#include "settings/hex_text.h"

#include <cstdio>

namespace lumetra::playlist {
namespace {

// One line from pos; false at the end of the file.
bool NextLine(std::string_view bytes, std::size_t& pos, bool& ended, std::string_view& line)
{
    if (ended || pos >= bytes.size())
        return false;
    std::size_t start = pos;
    while (pos < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[pos]);
        if (c == 0xFF) {
            line = bytes.substr(start, pos - start);
            ended = true;
            return true;
        }
        if (c == '\r') {
            line = bytes.substr(start, pos - start);
            pos += 2; // the line feed, or whatever follows, is consumed unread
            return true;
        }
        ++pos;
    }
    line = bytes.substr(start);
    return true;
}

} // namespace

uint32_t HeaderSerial(std::string_view headerLine)
{
    if (headerLine.size() < 24)
        return 0;
    uint32_t serial = 0;
    for (std::size_t i = 16; i < 24; ++i)
        serial = serial << 4 | static_cast<uint32_t>(settings::HexDigitValue(headerLine[i]));
    return serial;
}

ListFile ParseListFile(std::string_view bytes)
{
    ListFile list;
    std::size_t pos = 0;
    bool ended = false;
    std::string_view line;
    if (!NextLine(bytes, pos, ended, line) || !line.starts_with(kListMagic))
        return list;
    list.isPlaylist = true;
    list.serial = HeaderSerial(line);
    while (NextLine(bytes, pos, ended, line)) {
        if (line.size() > kMaxLineChars)
            continue;
        line = line.substr(0, line.find('\0'));
        if (!line.empty())
            list.entries.emplace_back(line);
    }
    return list;
}

bool IsWritableEntry(std::string_view row)
{
    return !row.empty() && row.size() <= kMaxLineChars && row.find("://") == std::string_view::npos &&
           row.find_first_of(std::string_view("\r\xff\0", 3)) == std::string_view::npos;
}

std::string FormatListFile(uint32_t serial, const std::vector<std::string>& rows)
{
    char header[32];
    std::snprintf(header, sizeof header, "%s %08X\r\n", kListMagic.data(), serial);
    std::string text = header;
    for (const std::string& row : rows) {
        if (!IsWritableEntry(row))
            continue;
        text += row;
        text += "\r\n";
    }
    return text;
}

bool IsAbsoluteEntry(std::string_view line)
{
    return (!line.empty() && line[0] == '/') || (line.size() >= 2 && line[1] == ':');
}

std::string ListFolder(std::string_view fullPath)
{
    std::size_t slash = fullPath.find_last_of("/\\");
    return slash == std::string_view::npos ? std::string() : std::string(fullPath.substr(0, slash + 1));
}

std::string ResolveEntry(std::string_view folder, std::string_view line)
{
    if (IsAbsoluteEntry(line))
        return std::string(line);
    std::string path(folder);
    path += line;
    return path;
}

} // namespace lumetra::playlist
