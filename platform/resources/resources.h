#pragma once
// Resources compiled into the executable (files under resources/<type>/ and those
// made by resources/generators/), found by type and name without regard to case.

#include <cstdio>
#include <optional>
#include <span>
#include <string_view>

namespace lumetra::platform {

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
