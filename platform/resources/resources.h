#pragma once
// Resources compiled into the executable (files under resources/<type>/ and those
// made by resources/generators/), found by type and name without regard to case.

#include <cstddef>
#include <cstdio>
#include <optional>
#include <span>
#include <string_view>

namespace lumetra::platform {

namespace detail {
// One entry of a table that lumetra-embed writes.
struct EmbeddedResource {
    const char* type;
    const char* name;
    const unsigned char* data;
    std::size_t size;
};
// The table every program links; the skin's (kSkinResources) only the window does.
extern const EmbeddedResource kEmbeddedResources[];
extern const std::size_t kEmbeddedResourcesCount;
extern const EmbeddedResource kSkinResources[];
extern const std::size_t kSkinResourcesCount;
} // namespace detail

// Adds a table made by lumetra-embed to those searched (the window adds the
// skin's bitmaps, which only it links). One added table at a time.
void AddResourceTable(const detail::EmbeddedResource* table, std::size_t count);

// The bytes of a resource, or nothing when no resource has that type and name.
std::optional<std::span<const unsigned char>> FindResource(std::string_view type, std::string_view name);

// Drops the memory pages that hold only this resource's bytes from the process's
// resident set, once what they held has been decoded; a later read brings them
// back from the executable file.
void ReleaseResourcePages(std::span<const unsigned char> bytes);

// A read-only stream over a resource's bytes (no temporary file), or nullptr.
// Close it with fclose.
FILE* OpenResourceStream(std::string_view type, std::string_view name);

} // namespace lumetra::platform
