#pragma once
// Routing of an item to the source of its type: reading its information and
// starting its playback. MPEG goes to the decoder; WAV, ASF/WMA, MIDI and CD
// tracks go to the media-control sources, when there are any (without them these
// types read and start nothing).

#include "engine/decoder_source.h"
#include "media/media_item.h"

#include <cstdint>

namespace lumetra::engine {

class MciSources;

// Detects the type into item.mediaType and reads the item's information; always 1.
int FillMediaInfo(MediaItem& item);
int FillMediaInfo(MediaItem& item, DecoderSource& decoder);
int FillMediaInfo(MediaItem& item, DecoderSource& decoder, MciSources* mci);

// Starts item at a position on its fileSize scale; returns the sample position at
// which playback starts (the start position itself for types that start nothing).
int64_t StartMedia(MediaItem& item, int64_t startPosition);
int64_t StartMedia(MediaItem& item, int64_t startPosition, DecoderSource& decoder);
int64_t StartMedia(MediaItem& item, int64_t startPosition, DecoderSource& decoder, MciSources* mci);

// The sources used by the overloads without one (the process's, once its engine
// exists); nullptr: none.
void SetDispatchMciSources(MciSources* mci);
MciSources* DispatchMciSources();

} // namespace lumetra::engine
