#include "web/stream_timer.h"

#include <cstdio>
#include <cstring>

namespace lumetra::web {

void StreamTimer::Tick(StreamContext& stream, StreamPlaybackHost& host)
{
    MediaItem& item = host.CurrentItem();
    if (item.streamState == 0) {
        m_finalSizeRead = false;
        return;
    }
    const int64_t received = stream.Received();
    bool finished = !stream.ThreadRunning();
    // While the download runs the file is as long as what has arrived, and the
    // length follows it so the decoder never stops at the size seen when
    // playback started; the final size comes with the tags when it ends.
    if (!finished && received > item.fileSize)
        item.fileSize = received;
    if (!finished && item.bitrate / 8 > 0)
        item.totalSamples =
            static_cast<int64_t>(static_cast<double>(item.fileSize) * item.sampleRate / ((item.bitrate / 8) * 1000.0));
    std::string file = stream.FilePath();
    if (item.streamState == 1 && received < kStreamStartBytes && !finished) {
        char text[64];
        std::snprintf(text, sizeof text, "streaming %lld bytes...", static_cast<long long>(received));
        host.SetStatusText(text);
    }
    // The download is complete: the file has its final size (and any ID3v1 tag at
    // its end), which bounds the end of playback, and the length the decoder
    // finds in the whole file replaces the estimate.
    if (finished && !m_finalSizeRead) {
        m_finalSizeRead = true;
        if (std::strcmp(item.path, file.c_str()) != 0) {
            std::snprintf(item.path, sizeof item.path, "%s", file.c_str());
        }
        host.ReadFileSizeAndTags(item);
    }
    if (item.streamState == 1 && !host.PlayingOrPaused() && (received > kStreamStartBytes || finished) &&
        item.streamReadPos == 0) {
        host.OpenCurrent(file, 0);
        host.PlayCurrent();
        host.CurrentItem().streamState = 2;
    }
}

} // namespace lumetra::web
