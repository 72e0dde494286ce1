#include "platform/audio/sound_player.h"

#include "platform/audio/mixer.h"
#include "platform/resources/resources.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <vector>

namespace lumetra::platform::audio {

namespace {
// Buffers kept queued: enough that a loop never runs dry between callbacks.
constexpr size_t kBuffers = 4;
} // namespace

struct SoundPlayer::Session {
    std::vector<uint8_t> wav;
    WaveImage image;
    bool loop = false;
    uint32_t gainQ16 = 65536;
    size_t chunkBytes = 0;

    std::mutex mutex;
    bool stopping = false;
    size_t position = 0; // next byte of the samples to queue
    int outstanding = 0;
    std::atomic<bool> finished{false};
    std::array<WaveHeader, kBuffers> headers{};
    std::array<std::vector<uint8_t>, kBuffers> buffers;
    // Last, so that it goes first: its thread must end before the rest does.
    std::unique_ptr<WaveOutDevice> device;

    // Fills a buffer with the next piece of the sound (wrapping when looping);
    // false when a sound played once has nothing left.
    bool Fill(size_t index)
    {
        const auto samples = image.samples;
        std::vector<uint8_t>& buffer = buffers[index];
        size_t filled = 0;
        while (filled < chunkBytes) {
            if (position >= samples.size()) {
                if (!loop)
                    break;
                position = 0;
            }
            size_t n = std::min(chunkBytes - filled, samples.size() - position);
            std::memcpy(buffer.data() + filled, samples.data() + position, n);
            filled += n;
            position += n;
        }
        if (filled == 0)
            return false;
        ScaleSamples(buffer.data(), filled, image.format.bitsPerSample, gainQ16);
        WaveHeader& h = headers[index];
        h.data = buffer.data();
        h.bufferLength = static_cast<uint32_t>(filled);
        h.user = static_cast<intptr_t>(index);
        return true;
    }

    // Queues the next piece into a buffer (session mutex held).
    void Queue(size_t index)
    {
        if (!Fill(index))
            return;
        if (device->Prepare(&headers[index]) == kWaveOk && device->Write(&headers[index]) == kWaveOk)
            ++outstanding;
    }

    void OnDone(WaveHeader* header)
    {
        std::lock_guard lock(mutex);
        --outstanding;
        if (stopping)
            return;
        Queue(static_cast<size_t>(header->user));
        if (outstanding == 0) {
            finished = true;
            device->Close();
        }
    }
};

SoundPlayer::SoundPlayer(AudioSystem& system) : m_system(system) {}

SoundPlayer::~SoundPlayer()
{
    Stop();
}

bool SoundPlayer::PlayResource(std::string_view name, bool loop, uint16_t volume)
{
    auto bytes = FindResource("wave", name);
    if (!bytes) {
        Stop();
        return false;
    }
    return Play(*bytes, loop, volume);
}

bool SoundPlayer::Play(std::span<const uint8_t> wav, bool loop, uint16_t volume)
{
    Stop();
    auto session = std::make_unique<Session>();
    session->wav.assign(wav.begin(), wav.end());
    WaveParseResult parsed = ParseWave(session->wav);
    if (!parsed.ok || parsed.image.samples.empty())
        return false;
    session->image = parsed.image;
    session->loop = loop;
    session->gainQ16 = static_cast<uint32_t>((static_cast<uint64_t>(volume) * 65536 + 32767) / 65535);
    const WaveFormat& format = session->image.format;
    session->chunkBytes =
        std::max<size_t>(format.blockAlign, format.avgBytesPerSec / 10 / format.blockAlign * format.blockAlign);
    for (auto& buffer : session->buffers)
        buffer.resize(session->chunkBytes);

    Session* raw = session.get();
    auto done = [raw](WaveOutDevice*, WaveHeader* header) { raw->OnDone(header); };
    if (m_system.Open(0, format, done, session->device) != kWaveOk || !session->device)
        return false;
    {
        std::lock_guard lock(session->mutex);
        for (size_t i = 0; i < kBuffers; ++i)
            session->Queue(i);
        if (session->outstanding == 0) {
            session->device->Close();
            return false;
        }
    }
    std::lock_guard lock(m_mutex);
    m_session = std::move(session);
    return true;
}

void SoundPlayer::Stop()
{
    std::unique_ptr<Session> session;
    {
        std::lock_guard lock(m_mutex);
        session.swap(m_session);
    }
    if (!session)
        return;
    {
        std::lock_guard lock(session->mutex);
        session->stopping = true;
    }
    // A sound that ended has closed its device already; these then do nothing.
    session->device->Reset();
    session->device->Close();
}

bool SoundPlayer::IsPlaying() const
{
    std::lock_guard lock(m_mutex);
    return m_session && !m_session->finished;
}

SoundPlayer& TheSoundPlayer()
{
    static SoundPlayer player(TheAudioSystem());
    return player;
}

} // namespace lumetra::platform::audio
