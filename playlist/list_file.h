#pragma once
// The ".lst" playlist file format, also used for library.lst. Pure: bytes in,
// values out; no files are opened here.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumetra::playlist {

inline constexpr std::string_view kListMagic = "LumetraPlayList";
// Longer entry lines are skipped whole: cut to fit, they would name another file.
inline constexpr std::size_t kMaxLineChars = 2047;

struct ListFile {
    bool isPlaylist = false;          // the first line begins with "LumetraPlayList"
    uint32_t serial = 0;              // CD serial of the header, 0 when the line is short
    std::vector<std::string> entries; // non-empty lines after the header, as written
};

// Reading rules: a line ends at a carriage return (the byte after it is consumed
// unread) or at the end; a byte 0xFF ends the line and the file. A bare line feed
// is an ordinary character. An entry stops at a NUL byte.
ListFile ParseListFile(std::string_view bytes);

// The serial of a header line: characters 16 to 23 as hexadecimal digits (any
// other character counts as 0), only when the line holds at least 24 characters.
uint32_t HeaderSerial(std::string_view headerLine);

// "LumetraPlayList %08X", then each writable row, every line ended by CR LF.
std::string FormatListFile(uint32_t serial, const std::vector<std::string>& rows);

// Rows that are written: no "://" (streams are not kept), and nothing a reader
// would split or cut (CR, 0xFF, NUL, overlong).
bool IsWritableEntry(std::string_view row);

// Absolute: starts with "/", or has a drive letter and ":" (lists written on Windows).
bool IsAbsoluteEntry(std::string_view line);
// The folder of a list's full path, up to and including its last "/" or "\".
std::string ListFolder(std::string_view fullPath);
// A relative line is prefixed with the list's folder; others stand as they are.
std::string ResolveEntry(std::string_view folder, std::string_view line);

} // namespace lumetra::playlist
