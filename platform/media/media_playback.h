#pragma once
// One open media-control device: a PcmSource played through the sound system on
// a mixer line, with play from a position, pause, resume, stop and position, and
// a completion reported once per play: notify code 1 when the sound has played to
// its end, 4 when a stop, a close or a new play aborted it.

#include "platform/audio/wave_out.h"
#include "platform/media/pcm_source.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace lumetra::platform::media {

inline constexpr int kNotifySuccessful = 1;
inline constexpr int kNotifyAborted = 4;

// Called on the device's thread for a natural end, on the caller's for an abort.
using Completion = std::function<void(int notifyCode)>;

class MediaPlayback {
public:
    MediaPlayback(audio::AudioSystem& system, int device, audio::MixerLine line, std::unique_ptr<PcmSource> source);
    ~MediaPlayback();
    MediaPlayback(const MediaPlayback&) = delete;
    MediaPlayback& operator=(const MediaPlayback&) = delete;

    // Plays from fromMs (clamped to the length) to the end; false when the source
    // cannot seek there or no device opens.
    bool Play(int64_t fromMs, Completion done);
    void Pause();
    // Continues from the current position with a new completion.
    bool Resume(Completion done);
    void Stop();
    bool Playing() const { return m_playing.load(); }
    int64_t PositionMs() const;
    int64_t LengthMs() const { return m_source->LengthMs(); }

private:
    static constexpr int kBuffers = 8;
    // About 100 ms, a whole number of FluidSynth's 64-frame blocks.
    static constexpr int kBufferFrames = 69 * 64;

    void OnDone(audio::WaveHeader* header);
    bool QueueLocked(int index);
    void Abort();
    void Finish(int code);

    audio::AudioSystem& m_system;
    int m_deviceNumber;
    audio::MixerLine m_line;
    std::unique_ptr<PcmSource> m_source;

    std::mutex m_mutex; // guards everything below but the atomics
    Completion m_done;
    bool m_stopping = false;
    bool m_ended = false; // the source has nothing more
    int m_outstanding = 0;
    std::atomic<int64_t> m_startMs{0};
    int64_t m_queuedFrames = 0;
    std::atomic<int64_t> m_playedFrames{0};
    std::atomic<bool> m_playing{false};
    std::array<audio::WaveHeader, kBuffers> m_headers{};
    std::vector<int16_t> m_samples;
    // Last, so that it goes first: its thread must end before the rest does.
    std::unique_ptr<audio::WaveOutDevice> m_device;
};

} // namespace lumetra::platform::media
