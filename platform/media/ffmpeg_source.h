#pragma once
// WAV, ASF and WMA files and network addresses decoded by FFmpeg and converted to
// 16-bit stereo at 44100 Hz. Network reads give up after a timeout instead of
// hanging; every open and read is bounded by it.

#include "platform/media/pcm_source.h"

#include <memory>
#include <string>

namespace lumetra::platform::media {

struct FfmpegOptions {
    // "http://[user:password@]host:port" for http:// addresses; empty: none.
    std::string httpProxy;
    int timeoutMs = 10000;
};

// Opens the path or address and its first audio stream; nullptr with a reason in
// error when it cannot be read or decoded.
std::unique_ptr<PcmSource> OpenFfmpegSource(const std::string& path, const FfmpegOptions& options, std::string& error);

// Whether the opened file also carries a video stream.
bool FfmpegHasVideo(const std::string& path);

} // namespace lumetra::platform::media
