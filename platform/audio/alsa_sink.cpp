// ALSA output: a non-blocking PCM with about 100 ms of buffer. Pause uses the
// hardware pause where the PCM has one; otherwise the unplayed tail is kept,
// dropped from the PCM and written again on resume. The backend thread sleeps in
// poll(2) on the PCM's descriptors, woken once a period has room, and on an
// eventfd that a stop or close raises.

#include "platform/audio/backends.h"

#include <alsa/asoundlib.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace lumetra::platform::audio {

namespace {

constexpr unsigned kBufferUs = 100000;
constexpr unsigned kPeriodUs = 20000;
constexpr size_t kDeadWritable = 1 << 20;

class AlsaSink : public AudioSink {
public:
    explicit AlsaSink(std::string pcm) : m_name(std::move(pcm)) {}
    ~AlsaSink() override
    {
        if (m_wake >= 0)
            close(m_wake);
        if (!m_pcm)
            return;
        // A plugin PCM (a sound server behind it) may report sound as played that
        // the server still holds: let it finish rather than cut the tail off.
        if (snd_pcm_state(m_pcm) == SND_PCM_STATE_RUNNING) {
            snd_pcm_nonblock(m_pcm, 0);
            snd_pcm_drain(m_pcm);
        }
        snd_pcm_close(m_pcm);
    }

    int Open(const WaveFormat& format) override
    {
        m_blockAlign = std::max<uint32_t>(1, format.blockAlign);
        if (snd_pcm_open(&m_pcm, m_name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
            m_pcm = nullptr;
            return kWaveAllocated;
        }
        snd_pcm_hw_params_t* hw = nullptr;
        snd_pcm_hw_params_alloca(&hw);
        unsigned rate = format.samplesPerSec;
        unsigned bufferUs = kBufferUs;
        unsigned periodUs = kPeriodUs;
        if (snd_pcm_hw_params_any(m_pcm, hw) < 0 ||
            snd_pcm_hw_params_set_access(m_pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
            snd_pcm_hw_params_set_format(m_pcm, hw,
                                         format.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE) < 0 ||
            snd_pcm_hw_params_set_channels(m_pcm, hw, format.channels) < 0 ||
            snd_pcm_hw_params_set_rate_resample(m_pcm, hw, 1) < 0 || snd_pcm_hw_params_set_rate(m_pcm, hw, rate, 0) < 0)
            return kWaveBadFormat;
        snd_pcm_hw_params_set_buffer_time_near(m_pcm, hw, &bufferUs, nullptr);
        snd_pcm_hw_params_set_period_time_near(m_pcm, hw, &periodUs, nullptr);
        if (snd_pcm_hw_params(m_pcm, hw) < 0)
            return kWaveBadFormat;
        m_canPause = snd_pcm_hw_params_can_pause(hw) == 1;
        snd_pcm_uframes_t bufferFrames = 0;
        snd_pcm_uframes_t periodFrames = 0;
        snd_pcm_hw_params_get_buffer_size(hw, &bufferFrames);
        snd_pcm_hw_params_get_period_size(hw, &periodFrames, nullptr);

        snd_pcm_sw_params_t* sw = nullptr;
        snd_pcm_sw_params_alloca(&sw);
        snd_pcm_sw_params_current(m_pcm, sw);
        snd_pcm_sw_params_set_start_threshold(m_pcm, sw, std::max<snd_pcm_uframes_t>(1, periodFrames));
        snd_pcm_sw_params_set_avail_min(m_pcm, sw, std::max<snd_pcm_uframes_t>(1, periodFrames));
        if (snd_pcm_sw_params(m_pcm, sw) < 0)
            return kWaveError;
        m_bufferFrames = bufferFrames;
        m_rate = std::max(1u, rate);
        m_history.assign(bufferFrames * m_blockAlign, 0);
        m_held.reserve(m_history.size());
        m_bufferUs = std::chrono::microseconds(uint64_t{bufferFrames} * 1000000 / m_rate);
        m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        int count = snd_pcm_poll_descriptors_count(m_pcm);
        if (m_wake < 0 || count < 0)
            return kWaveError;
        m_polls.assign(1 + static_cast<size_t>(count), pollfd{});
        m_polls[0] = pollfd{m_wake, POLLIN, 0};
        if (count > 0 && snd_pcm_poll_descriptors(m_pcm, &m_polls[1], static_cast<unsigned>(count)) != count)
            return kWaveError;
        return kWaveOk;
    }

    size_t Writable() override
    {
        if (m_paused)
            return 0;
        if (m_dead)
            return kDeadWritable;
        snd_pcm_sframes_t avail = snd_pcm_avail_update(m_pcm);
        if (avail < 0) {
            Recover(static_cast<int>(avail));
            avail = snd_pcm_avail_update(m_pcm);
            if (avail < 0 && avail != -EAGAIN) {
                // The device is gone: what is left is swallowed and handed back.
                m_dead = true;
                return kDeadWritable;
            }
        }
        return avail > 0 ? static_cast<size_t>(avail) * m_blockAlign : 0;
    }

    int Write(const uint8_t* data, size_t bytes) override
    {
        m_written += bytes;
        if (m_dead)
            return kWaveError;
        Remember(data, bytes);
        int result = Push(data, bytes);
        if (result != kWaveOk)
            m_dead = true;
        return result;
    }

    uint64_t WrittenBytes() override { return m_written; }

    uint64_t PlayedBytes() override
    {
        if (m_paused)
            return m_played;
        snd_pcm_state_t state = snd_pcm_state(m_pcm);
        if (m_dead || state == SND_PCM_STATE_DISCONNECTED || state == SND_PCM_STATE_SETUP) {
            m_played = m_written; // the device went away: nothing more will be heard
            return m_played;
        }
        if (state == SND_PCM_STATE_XRUN) {
            // The buffer ran dry. What left it may still sit in a later stage (a
            // sound server behind a plugin PCM) for the latency measured last.
            auto now = std::chrono::steady_clock::now();
            if (!m_dry) {
                m_dry = true;
                m_dryUntil = now + std::chrono::microseconds(m_outsideFrames * 1000000 / m_rate);
            }
            if (now >= m_dryUntil)
                m_played = m_written;
            return m_played;
        }
        m_dry = false;
        snd_pcm_sframes_t avail = 0;
        snd_pcm_sframes_t delay = 0;
        if (state == SND_PCM_STATE_RUNNING && snd_pcm_avail_delay(m_pcm, &avail, &delay) == 0) {
            snd_pcm_sframes_t inBuffer = static_cast<snd_pcm_sframes_t>(m_bufferFrames) - avail;
            m_outsideFrames = static_cast<uint64_t>(std::max<snd_pcm_sframes_t>(0, delay - inBuffer));
            uint64_t pending = static_cast<uint64_t>(std::max<snd_pcm_sframes_t>(0, delay)) * m_blockAlign;
            uint64_t played = m_written - std::min(pending, m_written);
            m_played = std::max(m_played, played);
        }
        return m_played;
    }

    void Pause() override
    {
        PlayedBytes();
        m_paused = true;
        if (snd_pcm_state(m_pcm) != SND_PCM_STATE_RUNNING)
            return;
        if (m_canPause && snd_pcm_pause(m_pcm, 1) == 0) {
            m_hardwarePaused = true;
            return;
        }
        // Keep what the PCM has not played and give it back on resume.
        size_t unplayed = static_cast<size_t>(std::min<uint64_t>(m_written - m_played, m_history.size()));
        m_held.assign(m_history.end() - static_cast<std::ptrdiff_t>(unplayed), m_history.end());
        m_written -= unplayed;
        snd_pcm_drop(m_pcm);
        snd_pcm_prepare(m_pcm);
    }

    void Resume() override
    {
        if (!m_paused)
            return;
        m_paused = false;
        if (m_hardwarePaused) {
            m_hardwarePaused = false;
            if (snd_pcm_pause(m_pcm, 0) == 0)
                return;
            Recover(-EPIPE);
        }
        if (!m_held.empty()) {
            std::vector<uint8_t> held;
            held.swap(m_held);
            Write(held.data(), held.size());
            m_held.reserve(m_history.size());
        }
    }

    void Flush() override
    {
        m_held.clear();
        snd_pcm_drop(m_pcm);
        snd_pcm_prepare(m_pcm);
        m_hardwarePaused = false;
        m_written = m_played;
    }

    void Drain() override
    {
        if (!m_paused && snd_pcm_state(m_pcm) == SND_PCM_STATE_PREPARED && m_written > m_played)
            snd_pcm_start(m_pcm);
    }

    // With more to write, the PCM is full: sleep until it has a period of room,
    // at most a buffer's time. Otherwise sleep until the next buffer is due.
    std::chrono::microseconds SleepHint(uint64_t nextDue, uint64_t /*lastDue*/, bool morePending) override
    {
        using std::chrono::microseconds;
        m_wantRoom = morePending && !m_paused && !m_dead;
        if (m_wantRoom || nextDue == UINT64_MAX)
            return m_bufferUs;
        uint64_t played = PlayedBytes();
        auto left = static_cast<int64_t>((nextDue - std::min(nextDue, played)) / m_blockAlign * 1000000 / m_rate);
        return microseconds(std::clamp<int64_t>(left, 1000, m_bufferUs.count()));
    }

    bool OwnsWait() const override { return true; }

    void WaitEvents(std::chrono::microseconds timeout) override
    {
        int ms = -1;
        if (timeout != std::chrono::microseconds::max())
            ms = static_cast<int>(std::clamp<int64_t>((timeout.count() + 999) / 1000, 0, INT32_MAX));
        const nfds_t count = m_wantRoom ? m_polls.size() : 1;
        m_wantRoom = false;
        for (pollfd& p : m_polls)
            p.revents = 0;
        if (poll(m_polls.data(), count, ms) <= 0)
            return;
        if (m_polls[0].revents) {
            uint64_t value = 0;
            [[maybe_unused]] ssize_t n = read(m_wake, &value, sizeof value);
        }
        if (count > 1) {
            // Lets the PCM (a plugin above all) clear what woke it.
            unsigned short revents = 0;
            snd_pcm_poll_descriptors_revents(m_pcm, &m_polls[1], static_cast<unsigned>(count - 1), &revents);
        }
    }

    void Interrupt() override
    {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(m_wake, &one, sizeof one);
    }

private:
    void Recover(int error)
    {
        if (snd_pcm_recover(m_pcm, error, 1) < 0)
            snd_pcm_prepare(m_pcm);
    }

    int Push(const uint8_t* data, size_t bytes)
    {
        snd_pcm_uframes_t frames = bytes / m_blockAlign;
        int stalls = 0;
        while (frames > 0) {
            snd_pcm_sframes_t n = snd_pcm_writei(m_pcm, data, frames);
            if (n == -EAGAIN) {
                // Two seconds without room: the device has stopped taking sound.
                if (++stalls > 40)
                    return kWaveError;
                snd_pcm_wait(m_pcm, 50);
                continue;
            }
            if (n < 0) {
                // An underrun before this write: those bytes were heard already.
                m_played = m_written - frames * m_blockAlign;
                Recover(static_cast<int>(n));
                if (snd_pcm_state(m_pcm) != SND_PCM_STATE_PREPARED)
                    return kWaveError;
                continue;
            }
            data += static_cast<size_t>(n) * m_blockAlign;
            frames -= static_cast<snd_pcm_uframes_t>(n);
        }
        return kWaveOk;
    }

    // The last buffer's worth of written bytes, for the paused tail.
    void Remember(const uint8_t* data, size_t bytes)
    {
        if (m_history.empty())
            return;
        if (bytes >= m_history.size()) {
            std::copy(data + bytes - m_history.size(), data + bytes, m_history.begin());
            return;
        }
        std::copy(m_history.begin() + static_cast<std::ptrdiff_t>(bytes), m_history.end(), m_history.begin());
        std::copy(data, data + bytes, m_history.end() - static_cast<std::ptrdiff_t>(bytes));
    }

    std::string m_name;
    snd_pcm_t* m_pcm = nullptr;
    uint32_t m_blockAlign = 1;
    bool m_canPause = false;
    bool m_paused = false;
    bool m_hardwarePaused = false;
    uint64_t m_written = 0;
    uint64_t m_played = 0;
    snd_pcm_uframes_t m_bufferFrames = 0;
    uint64_t m_rate = 1;
    uint64_t m_outsideFrames = 0; // delay beyond the PCM's own buffer
    bool m_dry = false;
    bool m_dead = false;
    std::chrono::steady_clock::time_point m_dryUntil;
    std::vector<uint8_t> m_history;
    std::vector<uint8_t> m_held;
    int m_wake = -1; // eventfd raised by Interrupt
    std::vector<pollfd> m_polls; // m_wake, then the PCM's descriptors
    bool m_wantRoom = false;     // the next wait also ends when the PCM has room
    std::chrono::microseconds m_bufferUs{kBufferUs};
};

} // namespace

// alsa-lib prints its own complaints (unknown PCM, no server) on standard error;
// the caller reports failures itself.
static void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

bool AlsaDeviceOpens(const std::string& pcm)
{
    static const bool quiet = (snd_lib_error_set_handler(QuietAlsaErrors), true);
    (void)quiet;
    // A plugin PCM may fail for a moment while its server is busy: a few tries.
    for (int attempt = 0; attempt < 3; ++attempt) {
        snd_pcm_t* handle = nullptr;
        int result = snd_pcm_open(&handle, pcm.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
        if (result >= 0) {
            snd_pcm_close(handle);
            return true;
        }
        if (result == -ENOENT || result == -ENODEV || result == -EINVAL)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

std::unique_ptr<AudioSink> MakeAlsaSink(const std::string& pcm)
{
    return std::make_unique<AlsaSink>(pcm);
}

} // namespace lumetra::platform::audio
