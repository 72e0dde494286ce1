#pragma once
// Routing of an item to the source of its type: reading its information and
// starting its playback. MPEG goes to the decoder; the media-control sources
// (WAV, ASF/WMA, MIDI, CD) are routed like an unknown type until they exist.

#include "engine/decoder_source.h"
#include "media/media_item.h"

#include <cstdint>

namespace lumetra::engine {

// Detects the type into item.mediaType and reads the item's information; always 1.
int FillMediaInfo(MediaItem& item);
int FillMediaInfo(MediaItem& item, DecoderSource& decoder);

// Starts item at a position on its fileSize scale; returns the sample position at
// which playback starts (the start position itself for types that start nothing).
int32_t StartMedia(MediaItem& item, int32_t startPosition);
int32_t StartMedia(MediaItem& item, int32_t startPosition, DecoderSource& decoder);

} // namespace lumetra::engine
