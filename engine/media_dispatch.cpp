#include "engine/media_dispatch.h"
#include "engine/media_type_detection.h"

namespace lumetra::engine {

int FillMediaInfo(MediaItem& item, DecoderSource& decoder)
{
    item.mediaType = DetectMediaType(item.path);
    switch (item.mediaType) {
    case MEDIA_MPEG:
        decoder.ReadInfo(item);
        break;
    default:
        item.layer = -1;
        break;
    }
    return 1;
}

int32_t StartMedia(MediaItem& item, int32_t startPosition, DecoderSource& decoder)
{
    switch (item.mediaType) {
    case MEDIA_MPEG:
        return decoder.Open(item, startPosition);
    default:
        return startPosition;
    }
}

} // namespace lumetra::engine
