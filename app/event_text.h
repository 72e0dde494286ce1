#pragma once
// The text of headless events: one escaping rule for every event, so that no
// title, station name or server row can end a line or forge another event.

#include <string>
#include <string_view>

namespace lumetra::app {

// Event text as printed: valid UTF-8 is kept, and each byte that is not part of
// a valid UTF-8 sequence is read as Windows-1252. Then "\" is written "\\", a
// line feed "\n", a carriage return "\r", a tab "\t", any other byte below 0x20,
// 0x7F and the five bytes Windows-1252 leaves undefined "\xHH". With
// fieldSeparators, "|" is written "\|" (the fields of `item`).
std::string EscapeEventText(std::string_view text, bool fieldSeparators = false);

// Text that may be UTF-8 or 8-bit (tags, file names) as UTF-8: valid UTF-8 is
// kept, and any other byte is read as Windows-1252; the five bytes it leaves
// undefined stay as they are.
std::string TextToUtf8(std::string_view text);

// This program's 8-bit ANSI strings (ID3v1 and ID3v2 Latin-1 frames, the radio
// protocol, directory and link lists, settings) read as Windows-1252, as UTF-8.
// The five undefined bytes stay as they are, so the escaping shows them.
std::string AnsiToUtf8(std::string_view bytes);

} // namespace lumetra::app
