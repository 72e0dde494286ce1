#include "radio/receiver/radio_output.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "radio/receiver/radio_host.h"
#include "radio/receiver/radio_session.h"

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

RadioOutput::RadioOutput(RadioSession& session, audio::AudioSystem& audioSystem)
    : m_session(session), m_audio(audioSystem)
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

bool RadioOutput::Negotiate(audio::WaveFormat& format)
{
    const ProtocolState& rates = m_session.Protocol().State();
    format = MonoByteFormat(rates.codedRate);
    int result = m_audio.QueryFormat(kDefaultDevice, format);
    if (result == audio::kWaveBadFormat) {
        format = MonoByteFormat(rates.outputRate);
        result = m_audio.QueryFormat(kDefaultDevice, format);
    }
    if (result == audio::kWaveBadFormat) {
        m_session.Host().ShowMessage(kRadioCaption, "The sound device cannot play this station's sound format.");
        return false;
    }
    if (result != audio::kWaveOk) {
        m_session.Host().ShowMessage("Sound device error", audio::WaveErrorText(result));
        return false;
    }
    return true;
}

bool RadioOutput::OpenDevice(const audio::WaveFormat& format, std::unique_ptr<audio::WaveOutDevice>& out)
{
    RadioHost& host = m_session.Host();
    int result = m_audio.Open(
        kDefaultDevice, format,
        [this, &host](audio::WaveOutDevice*, audio::WaveHeader* header) {
            host.PostFromDevice([this, header] { BufferDone(header); });
        },
        out);
    if (result != audio::kWaveOk || !out) {
        host.ShowMessage("Sound device error", audio::WaveErrorText(result));
        out.reset();
        return false;
    }
    return true;
}

bool RadioOutput::CheckDevice()
{
    std::lock_guard lock(m_session.Host().PlayerLock());
    audio::WaveFormat format;
    if (!Negotiate(format))
        return false;
    std::unique_ptr<audio::WaveOutDevice> device;
    if (!OpenDevice(format, device))
        return false;
    device->Close();
    return true;
}

bool RadioOutput::Open()
{
    std::lock_guard lock(m_session.Host().PlayerLock());
    if (m_device)
        return true;
    audio::WaveFormat format;
    if (!Negotiate(format) || !OpenDevice(format, m_device))
        return false;
    m_deviceRate = int(format.samplesPerSec);
    m_codedRate = m_session.Protocol().State().codedRate;
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

void RadioOutput::Flush(BlockRecord& block)
{
    RadioHost& host = m_session.Host();
    std::lock_guard lock(m_session.Host().PlayerLock());
    int lost = ConcealBlock(block.samples, block.received, m_memory);
    m_lostTotal += lost;
    ++m_blocksFlushed;
    if (lost > 0)
        AddNoise(block.samples, NoiseAmplitude(lost), std::rand);
    if (!m_device)
        return;

    // The block is laid out at the coded rate; a device at another rate gets each
    // datagram's share stretched by repeating samples.
    size_t shareBytes = size_t(m_deviceRate) * kSamplesPerDatagram / size_t(m_codedRate);
    intptr_t user = lost | (host.RadioFilter() ? kFilterUserBit : 0);
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
            host.ShowMessage("error", "Error in writing buffer");
            continue;
        }
        ++m_queued;
    }

    if (m_queued == m_session.Blocks().StartThreshold()) {
        ReceptionVars& vars = m_session.Blocks().Vars();
        if (vars.state != ReceptionState::Receiving)
            vars.state = ReceptionState::Recovering;
        m_device->Restart();
        if (m_idle)
            StopIdle();
    }
}

void RadioOutput::BufferDone(audio::WaveHeader* header)
{
    Buffer* b = FindBuffer(header);
    if (!b || !b->inUse)
        return;
    RadioHost& host = m_session.Host();
    bool live = m_device && b->generation == m_generation;
    int lost = int(header->user & 0xFF);
    if (live) {
        m_device->Unprepare(header);
        int peak = 0;
        for (size_t i = 0; i < header->bufferLength; i += 32)
            peak = std::max(peak, std::abs(int(header->data[i]) - 128) * 256);
        host.SetLevel(peak / 4);
        host.Notify("UpdateVOL");
    }
    b->inUse = false;
    // Buffers handed back by a reset or from a closed device are only recycled.
    if (!live)
        return;
    m_session.Blocks().BlockPlayed(lost);
    if (--m_queued == 0)
        Underrun();
}

void RadioOutput::Underrun()
{
    RadioHost& host = m_session.Host();
    ReceptionVars& vars = m_session.Blocks().Vars();
    host.SetLevel(0);
    host.Notify("UpdateVOL");
    vars.state = ReceptionState::Lost;
    if (m_device)
        m_device->Pause();
    std::lock_guard lock(m_session.Host().PlayerLock());
    m_session.Status().Show("Transmission Lost", "br");
    if (!m_idle) {
        // Half volume first: the device takes the sound's first samples at once.
        m_savedVolume = host.WaveVolume();
        host.SetWaveVolume(kHalfVolume);
        host.StartIdleSound();
        m_idle = true;
    }
    vars.lostSince = host.NowSeconds();
    vars.bufferingShown = false;
}

void RadioOutput::StopIdle()
{
    m_session.Host().StopIdleSound();
    m_session.Host().SetWaveVolume(m_savedVolume);
    m_idle = false;
}

void RadioOutput::ResetDevice()
{
    std::lock_guard lock(m_session.Host().PlayerLock());
    if (m_device)
        m_device->Reset();
    ++m_generation;
    m_queued = 0;
}

void RadioOutput::ResetAndPause()
{
    std::lock_guard lock(m_session.Host().PlayerLock());
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
    std::lock_guard lock(m_session.Host().PlayerLock());
    ResetDevice();
    CloseDevice();
}

void RadioOutput::CloseForWindowClose()
{
    std::lock_guard lock(m_session.Host().PlayerLock());
    CloseDevice();
    m_queued = 0;
}

void RadioOutput::Destroy()
{
    m_session.Host().StopIdleSound();
    std::lock_guard lock(m_session.Host().PlayerLock());
    CloseDevice();
    m_queued = 0;
}

void RadioOutput::StopIdleIfPlaying()
{
    if (m_idle)
        StopIdle();
}

} // namespace lumetra::radio
