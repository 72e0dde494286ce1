#pragma once
// The picture of a video-bearing file (ASF with a video stream), decoded by FFmpeg
// on a thread of its own beside the file's sound, scaled to a fixed size and
// shown when the sound's clock reaches each frame's time. The sound is played by
// its own source; this only reads the video stream.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lumetra::platform::media {

class FfmpegVideo {
public:
    // The sound's position in milliseconds, read from the video thread.
    using Clock = std::function<int64_t()>;

    // nullptr when the file has no video stream this build can decode. Pictures
    // are width x height. Shared, so that it is destroyed by the code that made it
    // (media_module.h).
    static std::shared_ptr<FfmpegVideo> Open(const std::string& path, int width, int height);
    ~FfmpegVideo();
    FfmpegVideo(const FfmpegVideo&) = delete;
    FfmpegVideo& operator=(const FfmpegVideo&) = delete;

    // Shows the frames from fromMs on as clock reaches them, until the stream ends
    // or the object goes.
    void Start(int64_t fromMs, Clock clock);

    // The latest picture as 0xFFRRGGBB pixels, row by row, when it is newer than
    // serial (which is then advanced); false otherwise.
    bool TakePicture(std::vector<uint32_t>& pixels, uint64_t& serial) const;
    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    struct Decoder;
    FfmpegVideo(std::unique_ptr<Decoder> decoder, int width, int height);
    void Run(int64_t fromMs, Clock clock);

    std::unique_ptr<Decoder> m_decoder;
    int m_width;
    int m_height;
    mutable std::mutex m_lock; // the picture and its serial
    std::vector<uint32_t> m_picture;
    uint64_t m_serial = 0;
    std::mutex m_waitLock;
    std::condition_variable m_wake;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace lumetra::platform::media
