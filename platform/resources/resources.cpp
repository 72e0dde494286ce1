#include "platform/resources/resources.h"

#include <cstddef>
#include <cstdint>
#include <strings.h>
#include <sys/mman.h>
#include <unistd.h>

namespace lumetra::platform {
namespace detail {
struct EmbeddedResource {
    const char* type;
    const char* name;
    const unsigned char* data;
    std::size_t size;
};
extern const EmbeddedResource kEmbeddedResources[];
extern const std::size_t kEmbeddedResourceCount;
} // namespace detail

namespace {

bool EqualNoCase(std::string_view a, const char* b)
{
    std::string_view bv(b);
    return a.size() == bv.size() && strncasecmp(a.data(), b, a.size()) == 0;
}

} // namespace

std::optional<std::span<const unsigned char>> FindResource(std::string_view type, std::string_view name)
{
    for (std::size_t i = 0; i < detail::kEmbeddedResourceCount; ++i) {
        const auto& r = detail::kEmbeddedResources[i];
        if (EqualNoCase(type, r.type) && EqualNoCase(name, r.name))
            return std::span<const unsigned char>(r.data, r.size);
    }
    return std::nullopt;
}

FILE* OpenResourceStream(std::string_view type, std::string_view name)
{
    auto data = FindResource(type, name);
    if (!data)
        return nullptr;
    // fmemopen with mode "r" never writes; the cast only satisfies its signature.
    // An empty resource still needs a valid buffer of size >= 1 for glibc.
    return fmemopen(const_cast<unsigned char*>(data->data()), data->empty() ? 1 : data->size(), "r");
}

void ReleaseResourcePages(std::span<const unsigned char> bytes)
{
    auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    auto begin = (reinterpret_cast<uintptr_t>(bytes.data()) + page - 1) & ~(page - 1);
    auto end = (reinterpret_cast<uintptr_t>(bytes.data()) + bytes.size()) & ~(page - 1);
    // Whole pages inside the resource only; its bytes are constant, so the
    // executable file holds them unchanged.
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

} // namespace lumetra::platform
