#include "platform/audio/stream_description.h"

#include <atomic>
#include <mutex>

namespace lumetra::platform::audio {
namespace {

std::mutex g_lock;
StreamDescription g_description;
std::atomic<uint64_t> g_generation{0};

} // namespace

void SetStreamDescription(StreamDescription description)
{
    std::lock_guard guard(g_lock);
    if (description.name == g_description.name && description.artist == g_description.artist)
        return;
    g_description = std::move(description);
    ++g_generation;
}

StreamDescription CurrentStreamDescription()
{
    std::lock_guard guard(g_lock);
    return g_description;
}

uint64_t StreamDescriptionGeneration()
{
    return g_generation.load();
}

} // namespace lumetra::platform::audio
