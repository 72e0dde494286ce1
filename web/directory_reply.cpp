#include "web/directory_reply.h"

#include "settings/hex_text.h"
#include "web/http_text.h"

#include <array>
#include <cstdio>

namespace lumetra::web {
namespace {

std::string_view Token(std::string_view& rest)
{
    size_t space = rest.find(' ');
    std::string_view token = rest.substr(0, space);
    rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
    return token;
}

std::string Cut(std::string_view text, size_t limit)
{
    return std::string(text.substr(0, limit));
}

StationNode ReadStation(std::string_view prefix, std::string_view rest, int highestSpeed, bool& keep)
{
    StationNode node;
    node.level = static_cast<int>(prefix.size());
    std::string_view address = Token(rest);
    std::string_view speed = Token(rest);
    int bytes[4];
    for (int i = 0; i < 4; ++i) {
        char hi = 2 * i < static_cast<int>(address.size()) ? address[2 * i] : '0';
        char lo = 2 * i + 1 < static_cast<int>(address.size()) ? address[2 * i + 1] : '0';
        bytes[i] = settings::HexDigitValue(hi) * 16 + settings::HexDigitValue(lo);
    }
    int port = kDefaultStationPort;
    if (address.size() > 8 && address[8] == ':')
        port = LeadingDecimal(address.substr(9));
    node.greyed = !speed.empty() && speed.back() == 'x';
    keep = LeadingDecimal(speed) <= highestSpeed;
    char head[64];
    std::snprintf(head, sizeof head, " %d.%d.%d.%d:%d ", bytes[0], bytes[1], bytes[2], bytes[3], port);
    node.text = Cut(std::string(prefix) + head + std::string(rest), kNodeTextLimit);
    node.addressHex = Cut(address, kAddressHexLimit);
    return node;
}

} // namespace

DirectoryReply ParseDirectoryReply(std::string_view text, int highestSpeed)
{
    DirectoryReply reply;
    std::string buffer(text);
    std::string line;
    size_t offset = 0;
    while ((offset = NextLine(buffer, offset, line)) != 0) {
        if (line.starts_with("end of list"))
            break;
        std::string_view rest = line;
        std::string_view prefix = Token(rest);
        if (prefix.empty())
            continue;
        if (prefix.back() == '*') {
            bool keep = false;
            StationNode node = ReadStation(prefix, rest, highestSpeed, keep);
            if (!keep)
                continue;
            node.stationIndex = reply.stationCount++;
            reply.nodes.push_back(std::move(node));
        } else {
            std::string name(rest);
            if (name.size() >= 2 && name.ends_with(" 0"))
                name.resize(name.size() - 2);
            StationNode node;
            node.level = static_cast<int>(prefix.size());
            node.isCategory = true;
            node.text = Cut(std::string(prefix) + " " + name, kNodeTextLimit);
            reply.nodes.push_back(std::move(node));
        }
    }
    if (offset == 0)
        return reply;
    while ((offset = NextLine(buffer, offset, line)) != 0) {
        if (line.starts_with("end of all"))
            break;
        if (line.starts_with("autorefresh:")) {
            reply.autoRefreshSeconds = LeadingDecimal(std::string_view(line).substr(12));
        } else if (line.starts_with("Message:")) {
            int id = LeadingDecimal(std::string_view(line).substr(8));
            size_t colon = line.size() > 12 ? line.find(':', 12) : std::string::npos;
            if (colon != std::string::npos)
                reply.messages.push_back({id, line.substr(colon + 1)});
        } else if (line.starts_with("KVOversion:")) {
            std::string_view value = std::string_view(line).substr(11);
            size_t colon = value.find(':');
            if (colon != std::string_view::npos)
                reply.versions.push_back({std::string(value.substr(0, colon)), std::string(value.substr(colon + 1))});
        }
    }
    return reply;
}

bool VersionDiffers(std::string_view offered, std::string_view ours)
{
    if (offered.empty())
        return false;
    size_t n = offered.size() - 1;
    for (size_t i = 0; i < n; ++i) {
        char theirs = offered[i];
        char mine = i < ours.size() ? ours[i] : '\0';
        if (theirs != mine)
            return true;
        if (mine == '\0')
            break;
    }
    return false;
}

std::optional<StationAddressBytes> ParseDottedAddress(std::string_view text)
{
    StationAddressBytes out;
    size_t pos = 0;
    auto number = [&](int& value) {
        size_t start = pos;
        if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
            ++pos;
        long long v = 0;
        size_t digits = pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
            v = std::min(v * 10 + (text[pos++] - '0'), 2147483647LL);
        if (pos == digits) {
            pos = start;
            return false;
        }
        value = static_cast<int>(text[start] == '-' ? -v : v);
        return true;
    };
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != '.')
                return std::nullopt;
            ++pos;
        }
        if (!number(out.bytes[i]))
            return std::nullopt;
        out.bytes[i] &= 255;
    }
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        int port = 0;
        if (number(port))
            out.port = port;
    }
    return out;
}

std::string FormatDottedAddress(const StationAddressBytes& a)
{
    char text[64];
    if (a.port)
        std::snprintf(text, sizeof text, "%d.%d.%d.%d:%d", a.bytes[0], a.bytes[1], a.bytes[2], a.bytes[3], *a.port);
    else
        std::snprintf(text, sizeof text, "%d.%d.%d.%d", a.bytes[0], a.bytes[1], a.bytes[2], a.bytes[3]);
    return text;
}

StationRecord ParseStationRecord(std::string_view text)
{
    StationRecord record;
    std::string buffer(text);
    std::string line;
    size_t offset = 0;
    while ((offset = NextLine(buffer, offset, line)) != 0) {
        if (line.starts_with("end of stat"))
            break;
        std::string_view l = line;
        if (l.starts_with("Name:"))
            continue;
        if (l.starts_with("EMAIL:"))
            record.email = Cut(l.substr(6), 255);
        else if (l.starts_with("WWWURL:"))
            record.webUrl = Cut(l.substr(7), 255);
        else if (l.starts_with("WWWDESC:"))
            record.description = Cut(l.substr(8), 1023);
        else if (l.starts_with("Category:"))
            record.category = Cut(l.substr(9), 127);
        else if (l.starts_with("LOCATION:"))
            record.location = Cut(l.substr(9), 255);
        else if (l.starts_with("Station:")) {
            std::string_view value = l.substr(8);
            while (!value.empty() && value.front() == ' ')
                value.remove_prefix(1);
            if (auto address = ParseDottedAddress(value))
                record.address = address;
        }
    }
    return record;
}

std::string ReplaceNodeAddress(const std::string& text, const StationAddressBytes& address)
{
    std::string_view rest = text;
    std::string_view prefix = Token(rest);
    Token(rest); // the old address
    return Cut(std::string(prefix) + " " + FormatDottedAddress(address) + " " + std::string(rest), kNodeTextLimit);
}

std::string StationNameOf(const std::string& text)
{
    size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        pos = text.find(' ', pos);
        if (pos == std::string::npos)
            return {};
        ++pos;
    }
    return text.substr(pos, 255);
}

} // namespace lumetra::web
