#include "radio/receiver/radio_output.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "radio/receiver/radio_host.h"
#include "radio/receiver/radio_status.h"
#include "radio/receiver/reception_blocks.h"

namespace lumetra::radio {

namespace audio = platform::audio;

namespace {

constexpr int kDefaultDevice = 0; // the system's default output
constexpr uint32_t kHalfVolume = 0x7FFF7FFF;

audio::WaveFormat MonoByteFormat(int rate)
{
    audio::WaveFormat f;
    f.formatTag = 1;
    f.channels = 1;
    f.samplesPerSec = uint32_t(rate);
    f.avgBytesPerSec = uint32_t(rate);
    f.blockAlign = 1;
    f.bitsPerSample = 8;
    return f;
}

} // namespace

RadioOutput::RadioOutput(RadioHost& host, audio::AudioSystem& audioSystem,
                         std::function<void(audio::WaveHeader*)> played)
    : m_host(host), m_audio(audioSystem), m_played(std::move(played))
{
}

RadioOutput::~RadioOutput()
{
    if (m_device) {
        m_device->Reset();
        m_device->Close();
        m_device.reset();
    }
}

bool RadioOutput::Negotiate(int codedRate, int outputRate, audio::WaveFormat& format)
{
    format = MonoByteFormat(codedRate);
    int result = m_audio.QueryFormat(kDefaultDevice, format);
    if (result == audio::kWaveBadFormat) {
        format = MonoByteFormat(outputRate);
        result = m_audio.QueryFormat(kDefaultDevice, format);
    }
    if (result == audio::kWaveBadFormat) {
        m_host.ShowMessage(kRadioCaption, "The sound device cannot play this station's sound format.");
        return false;
    }
    if (result != audio::kWaveOk) {
        m_host.ShowMessage("Sound device error", audio::WaveErrorText(result));
        return false;
    }
    return true;
}

bool RadioOutput::OpenDevice(const audio::WaveFormat& format, std::unique_ptr<audio::WaveOutDevice>& out)
{
    int result = m_audio.Open(
        kDefaultDevice, format,
        [this](audio::WaveOutDevice*, audio::WaveHeader* header) {
            m_host.PostFromDevice([this, header] { m_played(header); });
        },
        out);
    if (result != audio::kWaveOk || !out) {
        m_host.ShowMessage("Sound device error", audio::WaveErrorText(result));
        out.reset();
        return false;
    }
    return true;
}

bool RadioOutput::CheckDevice(int codedRate, int outputRate)
{
    std::lock_guard lock(m_host.PlayerLock());
    audio::WaveFormat format;
    if (!Negotiate(codedRate, outputRate, format))
        return false;
    std::unique_ptr<audio::WaveOutDevice> device;
    if (!OpenDevice(format, device))
        return false;
    device->Close();
    return true;
}

bool RadioOutput::Open(int codedRate, int outputRate)
{
    std::lock_guard lock(m_host.PlayerLock());
    if (m_device)
        return true;
    audio::WaveFormat format;
    if (!Negotiate(codedRate, outputRate, format) || !OpenDevice(format, m_device))
        return false;
    m_deviceRate = int(format.samplesPerSec);
    m_codedRate = codedRate;
    ++m_generation;
    return true;
}

RadioOutput::Buffer* RadioOutput::TakeBuffer(size_t bytes)
{
    for (auto& b : m_buffers) {
        if (!b->inUse) {
            b->inUse = true;
            b->data.resize(bytes);
            return b.get();
        }
    }
    try {
        m_buffers.push_back(std::make_unique<Buffer>());
        Buffer* b = m_buffers.back().get();
        b->data.resize(bytes);
        b->inUse = true;
        return b;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

RadioOutput::Buffer* RadioOutput::FindBuffer(audio::WaveHeader* header)
{
    for (auto& b : m_buffers)
        if (&b->header == header)
            return b.get();
    return nullptr;
}

bool RadioOutput::Flush(BlockRecord& block, int startThreshold)
{
    std::lock_guard lock(m_host.PlayerLock());
    int lost = ConcealBlock(block.samples, block.received, m_memory);
    m_lostTotal += lost;
    ++m_blocksFlushed;
    if (lost > 0)
        AddNoise(block.samples, NoiseAmplitude(lost), std::rand);
    if (!m_device)
        return false;

    // The block is laid out at the coded rate; a device at another rate gets each
    // datagram's share stretched by repeating samples.
    size_t shareBytes = size_t(m_deviceRate) * kSamplesPerDatagram / size_t(m_codedRate);
    intptr_t user = lost | (m_host.RadioFilter() ? kFilterUserBit : 0);
    for (int k = 0; k < kDatagramsPerBlock; ++k) {
        Buffer* b = TakeBuffer(shareBytes);
        if (!b)
            break;
        const uint8_t* from = block.samples.data() + k * kSamplesPerDatagram;
        if (shareBytes == size_t(kSamplesPerDatagram)) {
            std::memcpy(b->data.data(), from, shareBytes);
        } else {
            for (size_t i = 0; i < shareBytes; ++i)
                b->data[i] = from[i * size_t(m_codedRate) / size_t(m_deviceRate)];
        }
        b->header = audio::WaveHeader{};
        b->header.data = b->data.data();
        b->header.bufferLength = uint32_t(shareBytes);
        b->header.user = user;
        b->generation = m_generation;
        if (m_device->Prepare(&b->header) != audio::kWaveOk || m_device->Write(&b->header) != audio::kWaveOk) {
            b->inUse = false;
            m_host.ShowMessage("error", "Error in writing buffer");
            continue;
        }
        ++m_queued;
    }

    if (m_queued != startThreshold)
        return false;
    m_device->Restart();
    if (m_idle)
        StopIdle();
    return true;
}

std::optional<PlayedBuffer> RadioOutput::BufferDone(audio::WaveHeader* header)
{
    Buffer* b = FindBuffer(header);
    if (!b || !b->inUse)
        return std::nullopt;
    bool live = m_device && b->generation == m_generation;
    int lost = int(header->user & 0xFF);
    if (live) {
        m_device->Unprepare(header);
        int peak = 0;
        for (size_t i = 0; i < header->bufferLength; i += 32)
            peak = std::max(peak, std::abs(int(header->data[i]) - 128) * 256);
        m_host.SetLevel(peak / 4);
        m_host.Notify("UpdateVOL");
    }
    b->inUse = false;
    // Buffers handed back by a reset or from a closed device are only recycled.
    if (!live)
        return std::nullopt;
    PlayedBuffer played{lost, --m_queued == 0};
    if (played.underrun)
        Underrun();
    return played;
}

void RadioOutput::Underrun()
{
    m_host.SetLevel(0);
    m_host.Notify("UpdateVOL");
    if (m_device)
        m_device->Pause();
    std::lock_guard lock(m_host.PlayerLock());
    if (!m_idle) {
        // Half volume first: the device takes the sound's first samples at once.
        m_savedVolume = m_host.WaveVolume();
        m_host.SetWaveVolume(kHalfVolume);
        m_host.StartIdleSound();
        m_idle = true;
    }
}

void RadioOutput::StopIdle()
{
    m_host.StopIdleSound();
    m_host.SetWaveVolume(m_savedVolume);
    m_idle = false;
}

void RadioOutput::ResetDevice()
{
    std::lock_guard lock(m_host.PlayerLock());
    if (m_device)
        m_device->Reset();
    ++m_generation;
    m_queued = 0;
}

void RadioOutput::ResetAndPause()
{
    std::lock_guard lock(m_host.PlayerLock());
    ResetDevice();
    if (m_device)
        m_device->Pause();
}

void RadioOutput::CloseDevice()
{
    if (!m_device)
        return;
    m_device->Reset();
    m_device->Close();
    m_device.reset();
    ++m_generation;
}

void RadioOutput::StopAndClose()
{
    std::lock_guard lock(m_host.PlayerLock());
    ResetDevice();
    CloseDevice();
}

void RadioOutput::CloseForWindowClose()
{
    std::lock_guard lock(m_host.PlayerLock());
    CloseDevice();
    m_queued = 0;
}

void RadioOutput::Destroy()
{
    m_host.StopIdleSound();
    std::lock_guard lock(m_host.PlayerLock());
    CloseDevice();
    m_queued = 0;
}

void RadioOutput::StopIdleIfPlaying()
{
    if (m_idle)
        StopIdle();
}

} // namespace lumetra::radio
