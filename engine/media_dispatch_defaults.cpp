#include "engine/media_dispatch.h"

namespace lumetra::engine {

int FillMediaInfo(MediaItem& item)
{
    return FillMediaInfo(item, DefaultDecoderSource());
}

int64_t StartMedia(MediaItem& item, int64_t startPosition)
{
    return StartMedia(item, startPosition, DefaultDecoderSource());
}

} // namespace lumetra::engine
