#include "web/http_text.h"

#include <cstring>

namespace lumetra::web {
namespace {

std::string Upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

} // namespace

int LeadingDecimal(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min(value * 10 + (text[i] - '0'), 2147483647LL);
    return static_cast<int>(negative ? -value : value);
}

size_t NextLine(std::string& buffer, size_t offset, std::string& line)
{
    line.clear();
    if (offset >= buffer.size() || buffer[offset] == '\0')
        return 0;
    size_t end = buffer.find('\0', offset);
    if (end == std::string::npos)
        end = buffer.size();
    std::string_view rest(buffer.data() + offset, end - offset);
    size_t at = rest.find("\r\n");
    size_t length = 2;
    if (at == std::string_view::npos) {
        length = 1;
        at = rest.find('\n');
        if (at == std::string_view::npos)
            at = rest.find('\r');
    }
    if (at == std::string_view::npos) {
        line.assign(rest);
        return 0;
    }
    line.assign(rest.substr(0, at));
    buffer[offset + at] = '\0';
    return offset + at + length;
}

int ParseHttpHeader(std::string_view reply, int& contentLength, std::string& lastModified)
{
    contentLength = 0;
    lastModified.clear();
    std::string work(reply);
    std::string line;
    size_t offset = NextLine(work, 0, line);
    std::string status = Upper(line.substr(0, kHeaderLineLimit));
    if (status.find("406") != std::string::npos)
        return kReplyNotAcceptable;
    if (status.find("401") != std::string::npos || status.find("407") != std::string::npos)
        return kReplyNeedsLogin;
    if (status.find("404") != std::string::npos || status.find("403") != std::string::npos ||
        status.find("200") == std::string::npos)
        return kReplyFailed;
    while (offset != 0) {
        offset = NextLine(work, offset, line);
        if (offset == 0 || line.empty())
            break;
        std::string header = Upper(line.substr(0, kHeaderLineLimit));
        if (size_t at = header.find("CONTENT-LENGTH:"); at != std::string::npos) {
            if (header.size() > at + 16)
                contentLength = LeadingDecimal(std::string_view(header).substr(at + 16));
        } else if (size_t at = header.find("LAST-MODIFIED:"); at != std::string::npos) {
            if (header.size() > at + 15)
                lastModified = header.substr(at + 15);
        }
        // CONTENT-TYPE and SERVER are recognised and carry nothing we use.
    }
    return kReplyOk;
}

int SplitHttpUrl(std::string_view url, std::string& host, uint16_t& port, std::string& path)
{
    if (url.size() < 7 || Upper(url.substr(0, 7)) != "HTTP://")
        return 0;
    std::string_view rest = url.substr(7);
    size_t slash = rest.find('/');
    size_t colon = rest.find(':');
    port = 80;
    if (colon != std::string_view::npos && (slash == std::string_view::npos || colon < slash)) {
        host.assign(rest.substr(0, colon));
        int number = LeadingDecimal(
            rest.substr(colon + 1, slash == std::string_view::npos ? std::string_view::npos : slash - colon - 1));
        port = static_cast<uint16_t>(number);
    } else {
        host.assign(rest.substr(0, slash));
    }
    if (host.size() > 255)
        host.resize(255);
    path = slash == std::string_view::npos ? std::string("/") : std::string(rest.substr(slash));
    if (path.size() > 4097)
        path.resize(4097);
    return 1;
}

std::string Base64Encode(std::string_view text)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((text.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < text.size(); i += 3) {
        uint32_t n = static_cast<uint8_t>(text[i]) << 16 | static_cast<uint8_t>(text[i + 1]) << 8 |
                     static_cast<uint8_t>(text[i + 2]);
        out += kAlphabet[n >> 18];
        out += kAlphabet[(n >> 12) & 63];
        out += kAlphabet[(n >> 6) & 63];
        out += kAlphabet[n & 63];
    }
    if (i + 1 == text.size()) {
        uint32_t n = static_cast<uint8_t>(text[i]) << 16;
        out += kAlphabet[n >> 18];
        out += kAlphabet[(n >> 12) & 63];
        out += "==";
    } else if (i + 2 == text.size()) {
        uint32_t n = static_cast<uint8_t>(text[i]) << 16 | static_cast<uint8_t>(text[i + 1]) << 8;
        out += kAlphabet[n >> 18];
        out += kAlphabet[(n >> 12) & 63];
        out += kAlphabet[(n >> 6) & 63];
        out += '=';
    }
    return out;
}

} // namespace lumetra::web
