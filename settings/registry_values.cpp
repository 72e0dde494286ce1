#include "settings/registry_values.h"

#include "platform/registry/registry_store.h"
#include "settings/hex_text.h"

#include <algorithm>
#include <cstdint>

namespace lumetra::settings {
namespace {

// Value path: key before the last backslash, value name after it.
bool SplitValuePath(std::string_view valuePath, std::string_view& key, std::string_view& name)
{
    size_t slash = valuePath.rfind('\\');
    if (slash == std::string_view::npos) {
        key = {};
        name = valuePath;
        return true;
    }
    key = valuePath.substr(0, slash);
    name = valuePath.substr(slash + 1);
    return true;
}

} // namespace

int DecimalValue(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{1} << 31);
    if (negative)
        value = -value;
    return static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

void WriteRegistryString(RegistryRoot root, std::string_view valueString)
{
    if (valueString.size() > kValueStringLimit)
        valueString = valueString.substr(0, kValueStringLimit);
    size_t equals = valueString.find('=');
    std::string_view head = valueString.substr(0, equals);
    size_t slash = head.rfind('\\');
    if (valueString.empty() || slash == std::string_view::npos)
        return;
    std::string_view data = equals == std::string_view::npos ? std::string_view() : valueString.substr(equals + 1);
    WriteRegistryValue(root, head.substr(0, slash), head.substr(slash + 1), data);
}

void WriteRegistryValue(RegistryRoot root, std::string_view keyPath, std::string_view valueName, std::string_view data)
{
    if (keyPath.empty())
        return;
    platform::RegistryValue value;
    if (data.starts_with("REG_BINARY:")) {
        value.type = platform::kRegBinary;
        value.bytes = HexDecode(data.substr(11));
    } else if (data.starts_with("REG_DWORD:")) {
        std::string_view digits = data.substr(10);
        uint32_t number = 0;
        for (char c : digits) {
            bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
            if (!hex)
                break;
            number = number * 16 + static_cast<uint32_t>(HexDigitValue(c));
        }
        // Stored length is half the number of characters, taken from the little-endian number.
        size_t length = std::min<size_t>(digits.size() / 2, 4);
        value.type = platform::kRegDword;
        for (size_t i = 0; i < length; ++i)
            value.bytes.push_back(static_cast<uint8_t>(number >> (8 * i)));
    } else {
        if (data.starts_with("REG_SZ:"))
            data.remove_prefix(7);
        value.type = platform::kRegSz;
        value.bytes.assign(data.begin(), data.end());
        value.bytes.push_back(0);
    }
    platform::Registry().SetValue(root, keyPath, valueName, std::move(value));
}

int ReadRegistryString(RegistryRoot root, std::string_view valuePath, std::string& out)
{
    out.clear();
    if (valuePath.empty())
        return 1;
    std::string_view key, name;
    SplitValuePath(valuePath, key, name);
    auto& store = platform::Registry();
    if (!store.KeyExists(root, key))
        return -1;
    if (auto value = store.QueryValue(root, key, name)) {
        size_t n = std::min(value->bytes.size(), kValueReadLimit);
        out.assign(reinterpret_cast<const char*>(value->bytes.data()), n);
        // Text ends at its terminating NUL.
        if (size_t nul = out.find('\0'); nul != std::string::npos)
            out.resize(nul);
    }
    return 0;
}

int ReadRegistryNumber(RegistryRoot root, std::string_view valuePath)
{
    if (valuePath.empty())
        return -1;
    std::string_view key, name;
    SplitValuePath(valuePath, key, name);
    auto value = platform::Registry().QueryValue(root, key, name);
    if (!value)
        return -1;
    size_t n = std::min(value->bytes.size(), kValueReadLimit);
    std::string text(reinterpret_cast<const char*>(value->bytes.data()), n);
    if (size_t nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);
    return DecimalValue(text);
}

} // namespace lumetra::settings
