#include "app/mpris_values.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lumetra::app::mpris {

std::string ValidUtf8(std::string_view in)
{
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size();) {
        auto byte = static_cast<unsigned char>(in[i]);
        std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 6 ? 2 : (byte >> 4) == 14 ? 3 : (byte >> 3) == 30 ? 4 : 0;
        bool valid = length > 0 && i + length <= in.size() && byte != 0;
        uint32_t code = length == 1 ? byte : byte & (0x7F >> length);
        for (std::size_t k = 1; valid && k < length; ++k) {
            auto next = static_cast<unsigned char>(in[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = code << 6 | (next & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF.
        static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && code >= kLeast[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (valid) {
            out.append(in.substr(i, length));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

std::string FileUrl(std::string_view path)
{
    static constexpr std::string_view kKept = "-._~/!$&'()*+,;=:@[]";
    std::string url = "file://";
    for (char c : path) {
        auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) && byte < 0x80) {
            url += c;
        } else if (kKept.find(c) != std::string_view::npos) {
            url += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            url += escaped;
        }
    }
    return url;
}

bool LocalPath(std::string_view url, std::string& path)
{
    std::size_t colon = url.find(':');
    if (colon != 4 || strncasecmp(url.data(), "file", 4) != 0)
        return false;
    std::string_view rest = url.substr(5);
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (rest.starts_with("//")) {
        std::size_t end = rest.find('/', 2);
        std::string_view host = rest.substr(2, end == std::string_view::npos ? std::string_view::npos : end - 2);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
        if (!host.empty())
            path = "//" + std::string(host);
    }
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && std::isxdigit(static_cast<unsigned char>(rest[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(rest[i + 2]))) {
            path += static_cast<char>(std::strtol(std::string(rest.substr(i + 1, 2)).c_str(), nullptr, 16));
            i += 2;
        } else {
            path += rest[i];
        }
    }
    return true;
}

int AppendBare(sd_bus_message* m, const Value& value)
{
    switch (value.type) {
    case 'b': {
        int b = value.boolean;
        return sd_bus_message_append_basic(m, 'b', &b);
    }
    case 'd':
        return sd_bus_message_append_basic(m, 'd', &value.real);
    case 'x':
        return sd_bus_message_append_basic(m, 'x', &value.integer);
    case 's':
    case 'o':
        return sd_bus_message_append_basic(m, value.type, value.text.c_str());
    case 'A': {
        int r = sd_bus_message_open_container(m, 'a', "s");
        for (const std::string& item : value.list)
            r = r < 0 ? r : sd_bus_message_append_basic(m, 's', item.c_str());
        return r < 0 ? r : sd_bus_message_close_container(m);
    }
    default: {
        int r = sd_bus_message_open_container(m, 'a', "{sv}");
        for (const auto& [key, item] : value.map) {
            r = r < 0 ? r : sd_bus_message_open_container(m, 'e', "sv");
            r = r < 0 ? r : sd_bus_message_append_basic(m, 's', key.c_str());
            r = r < 0 ? r : AppendValue(m, item);
            r = r < 0 ? r : sd_bus_message_close_container(m);
        }
        return r < 0 ? r : sd_bus_message_close_container(m);
    }
    }
}

int AppendValue(sd_bus_message* m, const Value& value)
{
    const char* signature = value.type == 'A' ? "as" : value.type == 'M' ? "a{sv}" : nullptr;
    char single[2] = {value.type, 0};
    int r = sd_bus_message_open_container(m, 'v', signature ? signature : single);
    r = r < 0 ? r : AppendBare(m, value);
    return r < 0 ? r : sd_bus_message_close_container(m);
}

int ReadSetValue(sd_bus_message* m, SetValue& value)
{
    const char* contents = nullptr;
    int r = sd_bus_message_peek_type(m, nullptr, &contents);
    if (r < 0 || !contents)
        return r < 0 ? r : -EINVAL;
    if (std::strlen(contents) != 1 || !std::strchr("ybnqiuxtdsog", contents[0]))
        return sd_bus_message_skip(m, "v"); // a container: no number, false, no text
    char type = contents[0];
    r = sd_bus_message_enter_container(m, 'v', contents);
    if (r < 0)
        return r;
    union {
        uint8_t y;
        int b;
        int16_t n;
        uint16_t q;
        int32_t i;
        uint32_t u;
        int64_t x;
        uint64_t t;
        double d;
        const char* s;
    } raw{};
    r = sd_bus_message_read_basic(m, type, &raw);
    if (r < 0)
        return r;
    switch (type) {
    case 'y':
        value.number = raw.y;
        break;
    case 'b':
        value.number = raw.b ? 1 : 0;
        break;
    case 'n':
        value.number = raw.n;
        break;
    case 'q':
        value.number = raw.q;
        break;
    case 'i':
        value.number = raw.i;
        break;
    case 'u':
        value.number = raw.u;
        break;
    case 'x':
        value.number = static_cast<double>(raw.x);
        break;
    case 't':
        value.number = static_cast<double>(raw.t);
        break;
    case 'd':
        value.number = raw.d;
        break;
    default: {
        value.text = raw.s;
        char* end = nullptr;
        double number = std::strtod(raw.s, &end);
        value.number = *raw.s && end && !*end ? number : 0;
        std::string lower = value.text;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        value.truth = !lower.empty() && lower != "0" && lower != "false";
        return sd_bus_message_exit_container(m);
    }
    }
    value.truth = value.number != 0;
    if (type == 'b')
        value.text = raw.b ? "true" : "false";
    return sd_bus_message_exit_container(m);
}

} // namespace lumetra::app::mpris
