#include "radio/receiver/station_address.h"

#include <arpa/inet.h>
#include <string>

namespace lumetra::radio {
namespace {

// atoi's rule: optional blanks and sign, then leading digits; anything else is 0.
long LeadingNumber(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > 1000000)
            break;
    }
    return negative ? -v : v;
}

} // namespace

StationAddress ParseStationAddress(std::string_view text)
{
    StationAddress a;
    size_t blank = text.find(' ');
    if (blank != std::string_view::npos)
        text = text.substr(0, blank);
    size_t colon = text.find(':');
    std::string_view host = text;
    if (colon != std::string_view::npos) {
        host = text.substr(0, colon);
        a.port = uint16_t(LeadingNumber(text.substr(colon + 1)));
    }
    // inet_aton accepts the same dotted forms as inet_addr, without its ambiguity
    // between an error and 255.255.255.255.
    in_addr addr{};
    std::string hostText(host);
    if (!hostText.empty() && inet_aton(hostText.c_str(), &addr)) {
        a.ipv4 = ntohl(addr.s_addr);
        a.valid = true;
    }
    return a;
}

} // namespace lumetra::radio
