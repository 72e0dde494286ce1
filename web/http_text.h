#pragma once
// Pure text handling of the HTTP client: reply header classification, the line
// splitter and URL splitter the reply readers share, and Base64.

#include <cstdint>
#include <string>
#include <string_view>

namespace lumetra::web {

// Reply classes of ParseHttpHeader.
enum HttpReplyClass : int {
    kReplyFailed = 0, // 403, 404, or no 200
    kReplyOk = 1,
    kReplyNotAcceptable = 2, // 406
    kReplyNeedsLogin = 10,   // 401 or 407
};

inline constexpr size_t kHeaderLineLimit = 255;

// Classifies a reply by its status line and reads Content-Length and
// Last-Modified from the following header lines.
// The decimal number at the start of text after blanks and tabs, with an
// optional sign, saturating at 2147483647; 0 when there is none.
int LeadingDecimal(std::string_view text);

int ParseHttpHeader(std::string_view reply, int& contentLength, std::string& lastModified);

// Reads the line at `offset` of a NUL-terminated text: the terminator searched
// is CR LF anywhere in the rest, else LF, else CR; its first byte is replaced by
// NUL. Returns the offset after the terminator, or 0 when the text ends at
// `offset` or the rest has no terminator (then `line` still gets the rest).
size_t NextLine(std::string& buffer, size_t offset, std::string& line);

// Splits "http://host[:port]/path" (scheme in any letter case). Returns 1 for
// such a URL, else 0. Port 80 without one; path "/" when empty.
int SplitHttpUrl(std::string_view url, std::string& host, uint16_t& port, std::string& path);

// Standard Base64 with "=" padding.
std::string Base64Encode(std::string_view text);

} // namespace lumetra::web
