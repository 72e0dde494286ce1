#pragma once
// How an item is named and timed in every display line and list row.

#include "media/media_item.h"

#include <cstdint>
#include <string>

namespace lumetra::engine {

// The title, else the file name part of path (after the last "\" or "/"), else "--".
std::string ItemDisplayName(const MediaItem& item, const char* path);
// durationSeconds when known, else totalSamples / sampleRate (0 without a rate).
int64_t ItemSeconds(const MediaItem& item);

} // namespace lumetra::engine
