#pragma once
// An HTTP MP3 stream downloaded by a worker thread into the hidden stream file
// " Streaming MP3" in the program's data directory, which the player plays
// while it grows. One stream at a time.

#include "media/media_item.h"
#include "web/stream_get.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace lumetra::web {

inline constexpr const char* kStreamCaption = "Scanning links...";
inline constexpr int kStopWaitMs = 500;

// "$XDG_DATA_HOME/lumetra/" (XDG_DATA_HOME defaulting to ~/.local/share), with its slash.
std::string DefaultProgramDirectory();
// "%s Streaming MP3" with the program directory.
std::string StreamFilePath(const std::string& programDirectory);

// The state one worker thread shares with the main thread; kept alive by both,
// so a thread that does not end in time can be left to finish on its own.
struct StreamJob {
    std::string caption;
    std::string host;
    uint16_t port = 80;
    std::string path;
    FILE* file = nullptr;
    std::atomic<int32_t> done{0};
    std::atomic<int32_t> stop{0};
    std::atomic<int64_t> received{0};
    std::atomic<int64_t> mediaReceived{0};
    std::atomic<bool> running{false};
    std::atomic<int> end{0}; // a StreamEnd
    StreamLimits limits;
    std::function<void(int64_t received, bool downloading)> progress;
    ~StreamJob();
};

class StreamContext {
public:
    explicit StreamContext(std::string programDirectory = DefaultProgramDirectory());
    ~StreamContext();
    StreamContext(const StreamContext&) = delete;
    StreamContext& operator=(const StreamContext&) = delete;

    // The item whose streaming flag this context sets (the player's current item).
    void SetMedia(MediaItem* media) { m_media = media; }
    MediaItem* Media() const { return m_media; }
    // Told, from the worker thread, how many bytes have arrived and whether the
    // download still runs (the engine's feeder keeps behind that count).
    void SetProgressSink(std::function<void(int64_t received, bool downloading)> sink);
    // Cap, disk floor and pacing of every stream started from now on.
    void SetLimits(StreamLimits limits) { m_limits = std::move(limits); }
    // A limit that ended the last download (once), else kStreamEnded.
    int TakeLimitReached();

    const std::string& ProgramDirectory() const { return m_programDirectory; }
    std::string FilePath() const { return StreamFilePath(m_programDirectory); }

    bool ThreadRunning() const;
    bool Done() const;
    int64_t Received() const;
    const std::string& Host() const;
    uint16_t Port() const;
    const std::string& Path() const;

private:
    friend int StartPlaylistStream(const std::string& file, StreamContext& context);
    friend void StopStream(StreamContext& context);

    std::string m_programDirectory;
    MediaItem* m_media = nullptr;
    std::function<void(int64_t, bool)> m_sink;
    StreamLimits m_limits;
    int m_limitReported = 0;
    std::shared_ptr<StreamJob> m_job;
    std::thread m_thread;
};

// Starts streaming the first stream address of a stream playlist file.
// 0 when the file holds no address (nothing changes); 1 otherwise, also when
// the file cannot be read.
int StartPlaylistStream(const std::string& file, StreamContext& context);
// Ends the running stream (asking it to stop, waiting up to 500 ms) and resets
// the context and the media item's streaming fields.
void StopStream(StreamContext& context);
// The worker thread's procedure.
void StreamThread(std::shared_ptr<StreamJob> job);

// The process-wide stream, held by the main window.
StreamContext& ProcessStream();

} // namespace lumetra::web
