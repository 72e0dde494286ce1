// The settings loader with its limits: any text is either refused with a reason
// or loads into data within the limits, which writes back and loads the same.
#include "platform/registry/registry_file.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace lumetra::platform;
    std::string reason;
    auto loaded = ParseRegistryTextWithin(std::string_view(reinterpret_cast<const char*>(data), size), reason);
    if (!loaded) {
        if (reason.empty())
            __builtin_trap();
        return 0;
    }
    for (const auto& hive : loaded->hives) {
        for (const auto& [lower, key] : hive) {
            std::size_t depth = 1;
            for (char c : key.path)
                depth += c == '\\';
            if (depth > kRegistryMaxDepth || key.path.size() > kRegistryMaxKeyPath)
                __builtin_trap();
            for (const auto& [name, value] : key.values)
                if (value.second.bytes.size() > kRegistryMaxValueBytes + 1)
                    __builtin_trap();
        }
    }
    std::string again;
    auto reloaded = ParseRegistryTextWithin(FormatRegistryText(*loaded), again);
    if (!reloaded || !(*reloaded == *loaded))
        __builtin_trap();
    return 0;
}
