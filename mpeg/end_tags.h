#pragma once
// Tags that follow the audio at the end of a file: ID3v1, APEv2 (with or
// without its header) and Lyrics3 (versions 1 and 2), in any order. The decoder
// stops where they begin, so their bytes are never taken for sound.

#include "mpeg/id3v2_text.h"

#include <cstdint>

namespace lumetra::mpeg {

// Where the audio ends: fileSize less every tag found at the end, never below
// audioStart. read takes absolute file offsets.
int64_t AudioEndOffset(const TagReader& read, int64_t fileSize, int64_t audioStart);

} // namespace lumetra::mpeg
