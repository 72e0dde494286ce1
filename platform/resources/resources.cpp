#include "platform/resources/resources.h"

#include <cstddef>
#include <strings.h>

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

} // namespace lumetra::platform
