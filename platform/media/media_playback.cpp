#include "platform/media/media_playback.h"

namespace lumetra::platform::media {

using audio::kWaveOk;
using audio::WaveHeader;
using audio::WaveOutDevice;

MediaPlayback::MediaPlayback(audio::AudioSystem& system, int device, audio::MixerLine line,
                             std::unique_ptr<PcmSource> source)
    : m_system(system), m_deviceNumber(device), m_line(line), m_source(std::move(source)),
      m_samples(static_cast<std::size_t>(kBuffers) * kBufferFrames * kSourceChannels)
{
}

MediaPlayback::~MediaPlayback()
{
    Abort();
    if (m_device)
        m_device->Close();
}

bool MediaPlayback::Play(int64_t fromMs, Completion done)
{
    Abort();
    int64_t length = m_source->LengthMs();
    if (fromMs < 0)
        fromMs = 0;
    if (length >= 0 && fromMs > length)
        fromMs = length;
    if (!m_source->SeekMs(fromMs))
        return false;
    if (!m_device) {
        audio::WaveFormat format = audio::MakePcmFormat(kSourceChannels, kSourceRate, 16);
        auto callback = [this](WaveOutDevice*, WaveHeader* header) { OnDone(header); };
        if (m_system.OpenOnLine(m_deviceNumber, format, m_line, callback, m_device) != kWaveOk || !m_device) {
            m_device.reset();
            return false;
        }
    }
    bool emptyAtOnce = false;
    {
        std::lock_guard lock(m_mutex);
        m_done = std::move(done);
        m_stopping = false;
        m_ended = false;
        m_startMs = fromMs;
        m_queuedFrames = 0;
        m_playedFrames = 0;
        m_playing = true;
        m_device->Restart();
        for (int i = 0; i < kBuffers && !m_ended; ++i)
            QueueLocked(i);
        emptyAtOnce = m_outstanding == 0;
    }
    if (emptyAtOnce)
        Finish(kNotifySuccessful);
    return true;
}

void MediaPlayback::Pause()
{
    if (m_device)
        m_device->Pause();
}

bool MediaPlayback::Resume(Completion done)
{
    if (!m_device)
        return false;
    {
        std::lock_guard lock(m_mutex);
        if (!m_playing)
            return false;
        m_done = std::move(done);
    }
    m_device->Restart();
    return true;
}

void MediaPlayback::Stop()
{
    Abort();
}

int64_t MediaPlayback::PositionMs() const
{
    return m_startMs + m_playedFrames.load() * 1000 / kSourceRate;
}

void MediaPlayback::Abort()
{
    Completion done;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        done = std::move(m_done);
        m_done = nullptr;
        m_playing = false;
    }
    // Every queued buffer comes back through OnDone before Reset returns.
    if (m_device)
        m_device->Reset();
    if (done)
        done(kNotifyAborted);
}

void MediaPlayback::Finish(int code)
{
    Completion done;
    {
        std::lock_guard lock(m_mutex);
        done = std::move(m_done);
        m_done = nullptr;
        m_playing = false;
    }
    if (done)
        done(code);
}

// Fills buffer `index` from the source and writes it; false at the source's end.
bool MediaPlayback::QueueLocked(int index)
{
    int16_t* data = m_samples.data() + static_cast<std::size_t>(index) * kBufferFrames * kSourceChannels;
    int filled = 0;
    while (filled < kBufferFrames) {
        int n = m_source->Read(data + filled * kSourceChannels, kBufferFrames - filled);
        if (n <= 0)
            break;
        filled += n;
    }
    if (filled < kBufferFrames)
        m_ended = true;
    if (filled == 0)
        return false;
    m_queuedFrames += filled;
    WaveHeader& h = m_headers[static_cast<std::size_t>(index)];
    h.data = reinterpret_cast<uint8_t*>(data);
    h.bufferLength = static_cast<uint32_t>(filled * kSourceChannels * 2);
    h.user = static_cast<intptr_t>(m_queuedFrames);
    h.flags = 0;
    h.loops = 0;
    if (m_device->Prepare(&h) != kWaveOk || m_device->Write(&h) != kWaveOk) {
        m_device->Unprepare(&h);
        m_ended = true;
        return false;
    }
    ++m_outstanding;
    return true;
}

void MediaPlayback::OnDone(WaveHeader* header)
{
    bool finished = false;
    {
        std::lock_guard lock(m_mutex);
        --m_outstanding;
        m_device->Unprepare(header);
        if (m_stopping)
            return;
        m_playedFrames = static_cast<int64_t>(header->user);
        if (!m_ended)
            QueueLocked(static_cast<int>(header - m_headers.data()));
        finished = m_ended && m_outstanding == 0;
    }
    if (finished)
        Finish(kNotifySuccessful);
}

} // namespace lumetra::platform::media
