// Settings files damaged in any way: whatever is read writes back and reads the same.
#include "platform/registry/registry_file.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace lumetra::platform;
    RegistryData parsed = ParseRegistryText(std::string_view(reinterpret_cast<const char*>(data), size));
    std::string written = FormatRegistryText(parsed);
    RegistryData again = ParseRegistryText(written);
    if (!(again == parsed))
        __builtin_trap();
    if (FormatRegistryText(again) != written)
        __builtin_trap();
    return 0;
}
