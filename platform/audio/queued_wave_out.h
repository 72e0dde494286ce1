#pragma once
// The waveOut semantics over any AudioSink: a queue of written buffers fed to the
// sink by one backend thread, with the mixer line's gain applied on the way and
// each buffer handed back once the sink has played its last byte.

#include "platform/audio/audio_sink.h"
#include "platform/audio/mixer.h"
#include "platform/audio/wave_out.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lumetra::platform::audio {

class QueuedWaveOut : public WaveOutDevice {
public:
    // Runs once the device is closed (the AudioSystem frees its slot).
    using ClosedHook = std::function<void()>;

    QueuedWaveOut(std::unique_ptr<AudioSink> sink, const WaveFormat& format, Mixer& mixer, MixerLine line,
                  DoneCallback done, ClosedHook closed);
    ~QueuedWaveOut() override;

    // Opens the sink and starts the backend thread.
    int Start();

    int Prepare(WaveHeader* header) override;
    int Unprepare(WaveHeader* header) override;
    int Write(WaveHeader* header) override;
    int Pause() override;
    int Restart() override;
    int Reset() override;
    int Close() override;
    uint64_t PositionSamples() override;
    const WaveFormat& Format() const override { return m_format; }
    bool MoreDoneFollow() const override { return m_doneFollow > 0; }

private:
    struct Entry {
        WaveHeader* header;
        uint64_t endOffset; // sink offset after its last byte, once fully sent
        bool sent;
    };

    void Run();
    // Wakes the backend thread, wherever it waits.
    void Notify();
    // The backend thread's wait (the lock held on entry and on return).
    void Sleep(std::unique_lock<std::mutex>& lock, std::chrono::microseconds timeout);
    void DoReset(std::unique_lock<std::mutex>& lock);
    // Writes what the sink holds unplayed again at the line's new gain.
    void RewriteAtGain(std::unique_lock<std::mutex>& lock);
    // Waits until the backend thread has acted on every request made so far.
    void WaitForWorker(std::unique_lock<std::mutex>& lock);
    bool OnWorker() const { return std::this_thread::get_id() == m_workerId; }
    void Shutdown();

    std::unique_ptr<AudioSink> m_sink;
    WaveFormat m_format;
    Mixer& m_mixer;
    MixerLine m_line;
    DoneCallback m_done;
    ClosedHook m_closedHook;

    std::mutex m_mutex;
    std::condition_variable m_wake;   // the backend thread has work
    std::condition_variable m_served; // a request has been acted on
    std::deque<Entry> m_queue;
    size_t m_sendIndex = 0; // first entry not fully sent
    uint32_t m_sendPos = 0; // bytes of it already sent
    bool m_paused = false;
    bool m_sinkPaused = false;
    bool m_resetPending = false;
    bool m_quit = false;
    bool m_closed = false;
    uint64_t m_requestSeq = 0;
    uint64_t m_servedSeq = 0;
    uint64_t m_positionBase = 0; // sink offset where position 0 lies
    std::atomic<uint64_t> m_positionFrames{0};
    bool m_sinkWaits = false; // the sink owns the wait (set before the thread starts)
    uint32_t m_gain = 0;      // the line's gain on what the sink holds; backend thread only
    std::vector<uint8_t> m_scratch;
    std::vector<WaveHeader*> m_returning; // handed back in this pass; reserved once
    size_t m_doneFollow = 0;              // callbacks of this pass still to come; backend thread only
    std::thread m_thread;
    std::thread::id m_workerId;
};

} // namespace lumetra::platform::audio
