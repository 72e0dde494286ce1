#include "web/link_list.h"

#include "settings/registry_values.h"
#include "settings/settings.h"
#include "web/http_get.h"
#include "web/http_text.h"

namespace lumetra::web {

const char* const kDefaultLinkList = "http://www.lumetra.example/\n"
                                     "http://www.lumetra.example/radio/\n"
                                     "http://www.lumetra.example/stations/\n"
                                     "http://www.lumetra.example/download/\n"
                                     "http://www.lumetra.example/help/\n"
                                     "http://www.lumetra.example/skins/\n"
                                     "http://www.lumetra.example/news/\n"
                                     "http://www.lumetra.example/broadcast/\n"
                                     "http://www.lumetra.example/support/\n"
                                     "http://www.lumetra.example/about/\n";

std::vector<std::string> LinkRows(std::string_view text)
{
    std::vector<std::string> rows;
    std::string buffer(text);
    std::string line;
    size_t offset = 0;
    for (;;) {
        size_t next = NextLine(buffer, offset, line);
        if (line.starts_with("end of list"))
            break;
        // A last line without its line end still names a link.
        if (!line.empty() || next != 0)
            rows.push_back(line);
        if (next == 0)
            break;
        offset = next;
    }
    while (!rows.empty() && rows.back().empty())
        rows.pop_back();
    return rows;
}

std::vector<std::string> FetchLinkList(HttpFetcher& fetcher)
{
    std::string text;
    std::string cachePath = std::string(settings::kProgramKey) + "Links";
    int got = fetcher.Get("Scanning links...", "", 80, "/cgi-local/kvo_list_links.prl?INFO=0", text, kLinkListCapacity);
    if (got == 1 && text.starts_with("http://")) {
        settings::WriteRegistryString(settings::RegistryRoot::CurrentUser, cachePath + "=" + text);
    } else {
        settings::ReadRegistryString(settings::RegistryRoot::CurrentUser, cachePath, text);
        if (!text.starts_with("http://"))
            text = kDefaultLinkList;
    }
    return LinkRows(text);
}

} // namespace lumetra::web
