#pragma once
// Which files the library scan takes and how a category is ordered. Pure.

#include <cstdint>
#include <string>
#include <string_view>

namespace lumetra::playlist {

// By name and size: ".mp3", ".mid", ".rmi" always; ".wav" when larger than
// minWavSize x 1,000 bytes (or beyond 32 bits); names shorter than 5 characters
// never. Extensions in any letter case.
bool TakenByScan(std::string_view name, uint64_t sizeBytes, int32_t minWavSize);

// The title when there is one, else the file name part of the path.
std::string_view SortKey(std::string_view title, std::string_view path);
// Case-insensitive order of keys (ASCII letters folded, other bytes as they are).
int CompareNoCase(std::string_view a, std::string_view b);

} // namespace lumetra::playlist
