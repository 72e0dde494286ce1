#include "platform/registry/registry_file.h"

#include <array>
#include <cstdio>
#include <optional>

namespace lumetra::platform {
namespace {

constexpr std::array<std::string_view, kRegistryRootCount> kHiveNames = {"HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT",
                                                                         "HKEY_LOCAL_MACHINE"};
constexpr std::array<std::string_view, kRegistryRootCount> kHiveShortNames = {"HKCU", "HKCR", "HKLM"};

int HexNibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string_view TrimRight(std::string_view s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string_view TrimLeft(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

// Reads a quoted text with \\ and \" escapes starting at s[0] == '"'; advances s past it.
std::optional<std::string> ReadQuoted(std::string_view& s)
{
    if (s.empty() || s.front() != '"')
        return std::nullopt;
    std::string out;
    size_t i = 1;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"')
            break;
        if (c == '\\') {
            if (i + 1 >= s.size())
                return std::nullopt;
            out += s[++i];
            continue;
        }
        out += c;
    }
    if (i >= s.size())
        return std::nullopt;
    s.remove_prefix(i + 1);
    return out;
}

std::optional<std::vector<uint8_t>> ReadHexList(std::string_view s)
{
    std::vector<uint8_t> out;
    s = TrimLeft(TrimRight(s));
    while (!s.empty()) {
        if (s.size() < 2)
            return std::nullopt;
        int hi = HexNibble(s[0]);
        int lo = HexNibble(s[1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
        s.remove_prefix(2);
        s = TrimLeft(s);
        if (s.empty())
            break;
        if (s.front() != ',')
            return std::nullopt;
        s.remove_prefix(1);
        s = TrimLeft(s);
    }
    return out;
}

std::optional<RegistryValue> ReadData(std::string_view s)
{
    s = TrimLeft(TrimRight(s));
    RegistryValue value;
    if (!s.empty() && s.front() == '"') {
        auto text = ReadQuoted(s);
        if (!text || !TrimLeft(s).empty())
            return std::nullopt;
        value.type = kRegSz;
        value.bytes.assign(text->begin(), text->end());
        value.bytes.push_back(0);
        return value;
    }
    if (s.starts_with("dword:")) {
        s.remove_prefix(6);
        if (s.empty() || s.size() > 8)
            return std::nullopt;
        uint32_t number = 0;
        for (char c : s) {
            int n = HexNibble(c);
            if (n < 0)
                return std::nullopt;
            number = number * 16 + static_cast<uint32_t>(n);
        }
        value.type = kRegDword;
        for (int i = 0; i < 4; ++i)
            value.bytes.push_back(static_cast<uint8_t>(number >> (8 * i)));
        return value;
    }
    if (s.starts_with("hex:")) {
        auto bytes = ReadHexList(s.substr(4));
        if (!bytes)
            return std::nullopt;
        value.type = kRegBinary;
        value.bytes = std::move(*bytes);
        return value;
    }
    if (s.starts_with("hex(")) {
        size_t close = s.find("):");
        if (close == std::string_view::npos || close == 4 || close > 12)
            return std::nullopt;
        uint32_t type = 0;
        for (char c : s.substr(4, close - 4)) {
            int n = HexNibble(c);
            if (n < 0)
                return std::nullopt;
            type = type * 16 + static_cast<uint32_t>(n);
        }
        auto bytes = ReadHexList(s.substr(close + 2));
        if (!bytes)
            return std::nullopt;
        value.type = type;
        value.bytes = std::move(*bytes);
        return value;
    }
    return std::nullopt;
}

// "[HIVE\path]" -> hive and normalised path; nullopt for an unknown hive or a deletion.
std::optional<std::pair<RegistryRoot, std::string>> ReadKeyHeader(std::string_view line)
{
    if (line.size() < 2 || line.front() != '[' || line.back() != ']')
        return std::nullopt;
    std::string_view inner = line.substr(1, line.size() - 2);
    if (inner.starts_with("-"))
        return std::nullopt;
    size_t slash = inner.find('\\');
    std::string_view hive = inner.substr(0, slash);
    std::string upper = RegistryData::Lower(hive);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    for (int h = 0; h < kRegistryRootCount; ++h) {
        if (upper == kHiveNames[h] || upper == kHiveShortNames[h]) {
            std::string path = slash == std::string_view::npos
                                   ? std::string()
                                   : RegistryData::NormaliseKeyPath(inner.substr(slash + 1));
            return std::make_pair(static_cast<RegistryRoot>(h), path);
        }
    }
    return std::nullopt;
}

void AppendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
}

bool IsPlainText(std::string_view text)
{
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7e)
            return false;
    return true;
}

void AppendHex(std::string& out, const std::vector<uint8_t>& bytes)
{
    char digits[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
        if (i > 0)
            out += ',';
        out += digits;
    }
}

void AppendValue(std::string& out, const std::string& name, const RegistryValue& value)
{
    if (name.empty())
        out += '@';
    else
        AppendQuoted(out, name);
    out += '=';
    const auto& b = value.bytes;
    if (value.type == kRegSz && !b.empty() && b.back() == 0) {
        std::string_view text(reinterpret_cast<const char*>(b.data()), b.size() - 1);
        if (IsPlainText(text)) {
            AppendQuoted(out, text);
            return;
        }
    }
    if (value.type == kRegDword && b.size() == 4) {
        char digits[16];
        uint32_t n = b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
        std::snprintf(digits, sizeof digits, "dword:%08x", n);
        out += digits;
        return;
    }
    if (value.type == kRegBinary) {
        out += "hex:";
    } else {
        char prefix[24];
        std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
        out += prefix;
    }
    AppendHex(out, b);
}

} // namespace

namespace {

struct Limits {
    bool enforced;
    std::string* reason;
    std::size_t keyBytes = 0;

    bool Refuse(const char* why)
    {
        if (enforced && reason)
            *reason = why;
        return enforced;
    }
    // A key header that would break a limit; counts the key paths it creates.
    bool KeyRefused(const std::string& path)
    {
        if (!enforced)
            return false;
        if (path.size() > kRegistryMaxKeyPath)
            return Refuse("a key path is longer than 4 KiB");
        std::size_t depth = 1;
        for (char c : path)
            depth += c == '\\';
        if (depth > kRegistryMaxDepth)
            return Refuse("a key is nested deeper than 64 levels");
        keyBytes += depth * path.size();
        if (keyBytes > kRegistryMaxKeyBytes)
            return Refuse("its keys would take more than 64 MiB");
        return false;
    }
};

std::optional<RegistryData> Parse(std::string_view text, Limits limits)
{
    if (limits.enforced && text.size() > kRegistryMaxFileBytes && limits.Refuse("it is larger than 16 MiB"))
        return std::nullopt;
    RegistryData data;
    std::optional<std::pair<RegistryRoot, std::string>> current;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string logical(TrimRight(text.substr(pos, end - pos)));
        pos = end + 1;
        // Long hex lists continue on the next line after a trailing backslash.
        while (!logical.empty() && logical.back() == '\\' && logical.find("=hex") != std::string::npos &&
               pos < text.size()) {
            logical.pop_back();
            end = text.find('\n', pos);
            if (end == std::string_view::npos)
                end = text.size();
            logical.append(TrimLeft(TrimRight(text.substr(pos, end - pos))));
            pos = end + 1;
        }
        // Hex takes three characters a byte.
        if (logical.size() > 3 * kRegistryMaxValueBytes + 4096 && limits.Refuse("a value is larger than 1 MiB"))
            return std::nullopt;
        std::string_view line = TrimLeft(logical);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            current = ReadKeyHeader(line);
            if (current && limits.KeyRefused(current->second))
                return std::nullopt;
            if (current && !current->second.empty())
                data.CreateKey(current->first, current->second);
            continue;
        }
        if (!current || current->second.empty())
            continue;
        std::string name;
        std::string_view rest = line;
        if (rest.front() == '@') {
            rest.remove_prefix(1);
        } else {
            auto quoted = ReadQuoted(rest);
            if (!quoted)
                continue;
            name = std::move(*quoted);
        }
        rest = TrimLeft(rest);
        if (rest.empty() || rest.front() != '=')
            continue;
        rest.remove_prefix(1);
        if (auto value = ReadData(rest)) {
            std::size_t bytes = value->bytes.size() - (value->type == kRegSz && !value->bytes.empty() ? 1 : 0);
            if (bytes > kRegistryMaxValueBytes && limits.Refuse("a value is larger than 1 MiB"))
                return std::nullopt;
            data.SetValue(current->first, current->second, name, std::move(*value));
        }
    }
    return data;
}

} // namespace

RegistryData ParseRegistryText(std::string_view text)
{
    return *Parse(text, Limits{false, nullptr});
}

std::optional<RegistryData> ParseRegistryTextWithin(std::string_view text, std::string& reason)
{
    return Parse(text, Limits{true, &reason});
}

std::string FormatRegistryText(const RegistryData& data)
{
    std::string out = "REGEDIT4\n";
    for (int h = 0; h < kRegistryRootCount; ++h) {
        for (const auto& [lower, key] : data.hives[h]) {
            out += "\n[";
            out += kHiveNames[h];
            out += '\\';
            out += key.path;
            out += "]\n";
            for (const auto& [lowerName, entry] : key.values) {
                AppendValue(out, entry.first, entry.second);
                out += '\n';
            }
        }
    }
    return out;
}

} // namespace lumetra::platform
