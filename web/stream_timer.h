#pragma once
// The player's share of a stream, run from its 50 ms timer: the status line
// while the first bytes arrive, the start of playback once 64000 bytes are in
// (or the download ended), and the final size and tags when the download ends.

#include "media/media_item.h"
#include "web/stream_player.h"

#include <string>

namespace lumetra::web {

inline constexpr int32_t kStreamStartBytes = 64000;

// What the timer step needs from the player.
class StreamPlaybackHost {
public:
    virtual ~StreamPlaybackHost() = default;
    virtual MediaItem& CurrentItem() = 0;
    virtual bool PlayingOrPaused() = 0;
    virtual void OpenCurrent(const std::string& path, int64_t start) = 0;
    virtual void PlayCurrent() = 0;
    // File size, ID3 tags and length in samples of the current item's file.
    virtual void ReadFileSizeAndTags(MediaItem& item) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
};

class StreamTimer {
public:
    void Tick(StreamContext& stream, StreamPlaybackHost& host);
    // Forget what was done for the previous stream.
    void Reset() { m_finalSizeRead = false; }

private:
    bool m_finalSizeRead = false;
};

} // namespace lumetra::web
