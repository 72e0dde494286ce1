#include "platform/resources/resources.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <strings.h>
#include <sys/mman.h>
#include <unistd.h>

namespace lumetra::platform {
namespace {

// The one table added at run time (the skin's); published count first.
std::atomic<const detail::EmbeddedResource*> g_added{nullptr};
std::atomic<std::size_t> g_addedCount{0};

std::optional<std::span<const unsigned char>> FindIn(const detail::EmbeddedResource* table, std::size_t count,
                                                     std::string_view type, std::string_view name);

bool EqualNoCase(std::string_view a, const char* b)
{
    std::string_view bv(b);
    return a.size() == bv.size() && strncasecmp(a.data(), b, a.size()) == 0;
}

} // namespace

namespace {

std::optional<std::span<const unsigned char>> FindIn(const detail::EmbeddedResource* table, std::size_t count,
                                                     std::string_view type, std::string_view name)
{
    for (std::size_t i = 0; i < count; ++i) {
        const auto& r = table[i];
        if (EqualNoCase(type, r.type) && EqualNoCase(name, r.name))
            return std::span<const unsigned char>(r.data, r.size);
    }
    return std::nullopt;
}

} // namespace

void AddResourceTable(const detail::EmbeddedResource* table, std::size_t count)
{
    g_addedCount.store(count);
    g_added.store(table);
}

std::optional<std::span<const unsigned char>> FindResource(std::string_view type, std::string_view name)
{
    if (auto found = FindIn(detail::kEmbeddedResources, detail::kEmbeddedResourcesCount, type, name))
        return found;
    if (const detail::EmbeddedResource* added = g_added.load())
        return FindIn(added, g_addedCount.load(), type, name);
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
