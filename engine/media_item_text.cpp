#include "engine/media_item_text.h"

#include <cstring>

namespace lumetra::engine {

std::string ItemDisplayName(const MediaItem& item, const char* path)
{
    if (item.title[0] != '\0')
        return std::string(item.title, strnlen(item.title, sizeof item.title));
    if (const char* slash = std::strrchr(path, '\\'))
        return slash + 1;
    if (const char* slash = std::strrchr(path, '/'))
        return slash + 1;
    return "--";
}

int64_t ItemSeconds(const MediaItem& item)
{
    if (item.durationSeconds != 0)
        return item.durationSeconds;
    if (item.sampleRate == 0)
        return 0;
    return item.totalSamples / item.sampleRate;
}

} // namespace lumetra::engine
