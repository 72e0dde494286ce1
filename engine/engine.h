#pragma once
// The playback engine: the current item, the wave output device and the buffer
// thread. For MPEG it queues one decoded frame per buffer up to three seconds of
// sound, recycles returned buffers on the buffer thread, tracks the position and
// the level meter and posts the end-of-track notice (953) to the main window.
// One per process (TheEngine()); tests make their own with their own devices.

#include "engine/buffer_pool.h"
#include "engine/decoder_source.h"
#include "engine/mixer_access.h"
#include "engine/output_volume.h"
#include "engine/stream_progress.h"
#include "engine/thread_message_queue.h"
#include "media/media_item.h"
#include "platform/audio/wave_out.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lumetra::engine {

class MciSources;
class WindowMessageTarget;

enum PlayerState : int32_t { kStateIdle = 0, kStatePlaying = 1, kStateStopped = 2, kStatePaused = 3 };

inline constexpr int kQueueSeconds = 3;
// Played buffers are replaced once the queue is this much short of its target.
inline constexpr int kRefillMs = 500;
inline constexpr std::chrono::milliseconds kShutdownWait{2000};
// The feeder pauses a downloading stream when it reads this close to the received end.
inline constexpr int64_t kStreamMarginBytes = 10240;

struct EngineDependencies {
    platform::audio::AudioSystem& audio;
    DecoderSource& decoder;
    MixerAccess& mixer;
    StreamProgress& stream;
    std::recursive_mutex& lock;
};

class Engine {
public:
    explicit Engine(const EngineDependencies& deps);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Starts the buffer thread at the highest priority permitted.
    void Start();
    // Closes the decoder, stops the device once its buffers are back and ends the
    // buffer thread; waits at most kShutdownWait for both.
    void Shutdown();

    // From any thread, as a quit arrives: a wait for a busy device gives up at
    // once, and no later one starts.
    void AbandonDeviceWaits() { m_abandonDeviceWaits.store(true); }

    void SetDeviceNumber(int device);
    int DeviceNumber() const { return m_deviceNumber; }
    // The main window: receives 953 when an MPEG item has played to its end.
    // The media-control sources also post their completions (953) to it.
    void SetMainWindow(WindowMessageTarget* window);
    // WAV, ASF/WMA, MIDI and CD items play through these; without them (tests of
    // the MPEG path) those items start nothing.
    void SetMciSources(MciSources* mci);
    MciSources* Mci() const { return m_mci; }
    WindowMessageTarget* MainWindow() const { return m_mainWindow.load(); }

    int OpenCurrent(const char* path, int64_t startPosition);
    void PlayCurrent();
    void PauseCurrent();
    void StopAll();
    void ApplyVolume();
    void FeedOutput();
    // The timer's refresh for the media-control sources: the level from the
    // source's peak, and with position set the played position from the source
    // (whole seconds x 44100).
    void RefreshSource(bool position);
    // Whether the current item is still sounding or due to end: an MPEG item while
    // playing or its device is open, a media-control item while its device plays.
    bool SourceActive();

    // The device callback: only hands the buffer to the buffer thread.
    void BufferDone(platform::audio::WaveOutDevice* device, platform::audio::WaveHeader* header);

    // Observers, called from the main thread or the buffer thread.
    void SetStateObserver(std::function<void(PlayerState)> observer) { m_stateObserver = std::move(observer); }
    void SetItemObserver(std::function<void(const MediaItem&)> observer) { m_itemObserver = std::move(observer); }
    // An item that looked like MPEG audio but from which no frame decodes was
    // stopped and is no longer loaded (layer -1).
    void SetNotPlayableObserver(std::function<void(const MediaItem&)> observer)
    {
        m_notPlayableObserver = std::move(observer);
    }
    // Run by OpenCurrent (before the new item is read) and by StopAll, for the
    // playlist position, the library entry and an HTTP stream.
    void AddOpenHook(std::function<void()> hook) { m_openHooks.push_back(std::move(hook)); }
    void AddStopHook(std::function<void()> hook) { m_stopHooks.push_back(std::move(hook)); }

    PlayerState State() const { return static_cast<PlayerState>(m_state.load()); }
    int64_t PlayedPosition() const { return m_playedPosition.load(); }
    int64_t DecodePosition() const { return m_decodePosition.load(); }
    int32_t Level() const { return m_level.load(); }
    void SetLevel(int32_t level) { m_level.store(level); }
    int32_t QueuedCount() const { return m_queued.load(); }
    bool DeviceOpen() const { return m_deviceOpen.load(); }
    bool OutputStarted() const { return m_outputStarted.load(); }
    bool StopRequested() const { return m_stopRequest.load(); }

    // The current item; its fields change under the engine lock.
    MediaItem& CurrentItem() { return m_item; }
    std::recursive_mutex& Lock() { return m_lock; }
    OutputVolume& Volume() { return m_volume; }
    DecoderSource& Decoder() { return m_decoder; }

private:
    bool OpenWaveOutput();
    void StopMciSourceLocked();
    void SetState(PlayerState state);
    void PauseDeviceLocked();
    // Stop request with the device reset; closes at once when nothing is queued.
    void RequestStopLocked();
    void CloseDeviceLocked();
    // The device closed, positions and requests cleared, the state stopped.
    void CloseAndResetLocked();
    void WaitDeviceClosed();
    bool WaitDeviceClosedUntil(std::chrono::steady_clock::time_point deadline);
    bool QueueFull() const;
    bool QueueFrame();
    void BufferThreadMain();
    void HandleBufferDone(platform::audio::WaveHeader* header);
    void NotPlayableLocked();

    std::recursive_mutex& m_lock;
    platform::audio::AudioSystem& m_audio;
    DecoderSource& m_decoder;
    StreamProgress& m_stream;
    OutputVolume m_volume;

    MediaItem m_item;
    std::atomic<int32_t> m_state{kStateIdle};
    std::atomic<int64_t> m_decodePosition{0};
    std::atomic<int64_t> m_playedPosition{0};
    std::atomic<int32_t> m_level{0};
    std::atomic<int32_t> m_queued{0};
    std::atomic<int32_t> m_returnsPending{0}; // handed back, not yet taken by the buffer thread
    std::atomic<int32_t> m_refillAt{0};       // queued buffers at which the buffer thread refills
    std::atomic<bool> m_deviceOpen{false};
    std::atomic<bool> m_outputStarted{false};
    std::atomic<bool> m_stopRequest{false};
    std::atomic<bool> m_abandonDeviceWaits{false};
    int m_deviceNumber = 0;
    std::unique_ptr<platform::audio::WaveOutDevice> m_device;
    BufferPool m_pool;
    int m_returnedSinceRepaint = 0;
    bool m_decodedAny = false;

    std::mutex m_closedMutex;
    std::condition_variable m_closed;
    bool m_threadEnded = false;

    ThreadMessageQueue m_queue;
    std::thread m_bufferThread;
    std::atomic<WindowMessageTarget*> m_mainWindow{nullptr};

    MciSources* m_mci = nullptr;
    std::function<void(PlayerState)> m_stateObserver;
    std::function<void(const MediaItem&)> m_itemObserver;
    std::function<void(const MediaItem&)> m_notPlayableObserver;
    std::vector<std::function<void()>> m_openHooks;
    std::vector<std::function<void()>> m_stopHooks;
};

// The process's engine over the process's sound system, decoder and mixer.
Engine& TheEngine();

} // namespace lumetra::engine
