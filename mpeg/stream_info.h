#pragma once
// Analysis of MPEG files: file size, ID3v1 and ID3v2 tags, first frame header,
// length estimate.

#include "media/media_item.h"

namespace lumetra::mpeg {

// 1 when the file could be opened, else 0.
int ReadFileSizeAndId3v1(MediaItem& item);
// 1 analysed (layer may still be -1: unplayable), 0 failed.
int AnalyseMpegItem(MediaItem& item);

} // namespace lumetra::mpeg
