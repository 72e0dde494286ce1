#include "tools/station/directory_listing.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace lumetra::station {
namespace {

constexpr uint16_t kDefaultStationPort = 3456;
constexpr int kDefaultDirectorySpeed = 24;

// "7F000001" and the port; false for an address that is not dotted IPv4.
bool AddressToken(const DirectoryStation& station, std::string& hex)
{
    in_addr address{};
    if (inet_pton(AF_INET, station.address.c_str(), &address) != 1)
        return false;
    uint32_t n = ntohl(address.s_addr);
    char text[16];
    std::snprintf(text, sizeof text, "%08X", n);
    hex = text;
    return true;
}

int DirectorySpeed(const std::string& speed)
{
    int n = std::atoi(speed.c_str());
    return n > 0 ? n : kDefaultDirectorySpeed;
}

std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

} // namespace

std::string StationListing(const std::vector<DirectoryStation>& stations, const DirectoryExtras& extras)
{
    // One level-1 category per category name, in order of first appearance.
    std::vector<std::string> order;
    std::map<std::string, std::vector<const DirectoryStation*>> byCategory;
    for (const DirectoryStation& s : stations) {
        std::string category = s.category.empty() ? "Stations" : OneLine(s.category);
        if (!byCategory.count(category))
            order.push_back(category);
        byCategory[category].push_back(&s);
    }
    std::string out;
    for (const std::string& category : order) {
        out += "+ " + category + "\n";
        for (const DirectoryStation* s : byCategory[category]) {
            std::string hex;
            if (!AddressToken(*s, hex))
                continue;
            if (s->port != kDefaultStationPort)
                hex += ":" + std::to_string(s->port);
            int speed = DirectorySpeed(s->speed);
            // Speed, then the shown speed and the audience ahead of the name.
            out += "+* " + hex + " " + std::to_string(speed) + " " + std::to_string(speed) + "k ?/? " +
                   OneLine(s->name) + "\n";
        }
    }
    out += "end of list\n";
    out += "autorefresh: " + std::to_string(extras.autoRefreshSeconds) + "\n";
    if (extras.messageId > 0)
        out += "Message:" + std::to_string(extras.messageId) + ":Lumetra:" + OneLine(extras.messageText) + "\n";
    if (!extras.version.empty())
        out += "KVOversion:" + OneLine(extras.version) + ":" + OneLine(extras.versionUrl) + "\n";
    out += "end of all\n";
    return out;
}

std::string StationRecordText(const std::vector<DirectoryStation>& stations, std::string_view iphex)
{
    std::string_view wantedHex = iphex.substr(0, 8);
    uint16_t wantedPort = kDefaultStationPort;
    if (iphex.size() > 9 && (iphex[8] == ':' || iphex[8] == '.'))
        wantedPort = static_cast<uint16_t>(std::atoi(std::string(iphex.substr(9)).c_str()));
    for (const DirectoryStation& s : stations) {
        std::string hex;
        if (!AddressToken(s, hex) || s.port != wantedPort)
            continue;
        bool same = hex.size() == wantedHex.size();
        for (size_t i = 0; same && i < hex.size(); ++i)
            same = std::toupper(static_cast<unsigned char>(hex[i])) ==
                   std::toupper(static_cast<unsigned char>(wantedHex[i]));
        if (!same)
            continue;
        std::string out;
        out += "Name:" + OneLine(s.name) + "\n";
        out += "EMAIL:studio@lumetra.example\n";
        out += "WWWURL:http://www.lumetra.example/stations/\n";
        out += "WWWDESC:" + OneLine(s.description) + "\n";
        out += "Category:" + OneLine(s.category) + "\n";
        out += "LOCATION:" + s.address + ":" + std::to_string(s.port) + " (this machine)\n";
        out += "Station:" + s.address + ":" + std::to_string(s.port) + "\n";
        out += "end of station\n";
        return out;
    }
    return {};
}

std::string LinkListing(const DirectoryExtras& extras)
{
    std::vector<std::string> links = extras.links;
    if (links.empty())
        links = {"http://www.lumetra.example/", "http://www.lumetra.example/radio/",
                 "http://www.lumetra.example/stations/", "http://www.lumetra.example/download/"};
    std::string out;
    for (const std::string& link : links)
        out += OneLine(link) + "\n";
    out += "end of list\n";
    return out;
}

DirectoryResponse RespondToDirectoryRequest(std::string_view target, const std::vector<DirectoryStation>& stations,
                                            const DirectoryExtras& extras)
{
    if (target.starts_with("http://")) {
        size_t slash = target.find('/', 7);
        target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
    size_t question = target.find('?');
    std::string_view path = target.substr(0, question);
    std::string_view query = question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
    if (path == "/cgi-local/kvo_list_stations.prl")
        return {200, StationListing(stations, extras)};
    if (path == "/cgi-local/kvo_list_links.prl")
        return {200, LinkListing(extras)};
    if (path == "/cgi-local/kvo_get_station.prl") {
        size_t at = query.find("IPHEX=");
        if (at != std::string_view::npos) {
            std::string_view token = query.substr(at + 6);
            token = token.substr(0, token.find('&'));
            if (token.ends_with(".rdl"))
                token.remove_suffix(4);
            std::string record = StationRecordText(stations, token);
            if (!record.empty())
                return {200, record};
        }
    }
    return {404, "not found\n"};
}

} // namespace lumetra::station
