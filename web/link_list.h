#pragma once
// The list of web links shown in the link view: fetched from the directory
// server, cached in the settings, with a built-in list when neither has one.

#include <string>
#include <string_view>
#include <vector>

namespace lumetra::web {

class HttpFetcher;

inline constexpr size_t kLinkListCapacity = 16384;

// Ten addresses, separated by line feeds.
extern const char* const kDefaultLinkList;

// The rows of a link list text, up to a line beginning with "end of list".
std::vector<std::string> LinkRows(std::string_view text);

// Fetches, stores or falls back, and returns the rows to show.
std::vector<std::string> FetchLinkList(HttpFetcher& fetcher);

} // namespace lumetra::web
