#include "radio/receiver/radio_session.h"

#include <mutex>

#include "radio/receiver/radio_host.h"

namespace lumetra::radio {

RadioSession::RadioSession(RadioHost& host, PayloadDecoder& decoder, platform::audio::AudioSystem& audio,
                           RadioDisplay& display)
    : m_host(host), m_decoder(decoder), m_status(host, display), m_protocol(*this), m_blocks(*this),
      m_output(host, audio, [this](platform::audio::WaveHeader* header) { BufferPlayed(header); })
{
}

void RadioSession::Connect(std::string_view address)
{
    std::lock_guard lock(m_host.PlayerLock());
    m_blocks.Vars().slowComputer = false;
    m_blocks.Vars().slowLink = false;
    if (m_output.IsOpen())
        Stop();
    m_output.SetQueued(0);
    m_output.ResetLostTotal();
    m_blocks.ConnectReset();
    m_protocol.Connect(address);
    m_blocks.Vars().lostSince = 0;
    m_blocks.Vars().bitRateFigure = 0;
}

void RadioSession::Stop()
{
    std::lock_guard lock(m_host.PlayerLock());
    m_protocol.LeaveGroup();
    m_status.SetTitle(kRadioCaption);
    m_output.StopAndClose();
    m_protocol.SendLogoff();
    m_host.CloseSocket();
    m_host.Repaint();
}

void RadioSession::ReceiveAudio(uint32_t sequence, std::span<const uint8_t> payload)
{
    BlockRecord* passed = nullptr;
    if (!m_blocks.Take(sequence, payload, passed))
        return;
    if (passed)
        Flush(*passed);
    if (BlockRecord* done = m_blocks.Place(sequence))
        Flush(*done);
}

// Reception places a finished block; the output takes it, and says whether that
// started the device.
void RadioSession::Flush(BlockRecord& block)
{
    std::lock_guard lock(m_host.PlayerLock());
    if (m_output.Flush(block, m_blocks.StartThreshold()))
        m_blocks.OutputStarted();
    m_blocks.Advance();
}

void RadioSession::BufferPlayed(platform::audio::WaveHeader* header)
{
    std::optional<PlayedBuffer> played = m_output.BufferDone(header);
    if (!played)
        return;
    m_blocks.BlockPlayed(played->lost);
    if (played->underrun) {
        std::lock_guard lock(m_host.PlayerLock());
        m_blocks.TransmissionLost(m_host.NowSeconds());
    }
}

bool RadioSession::OpenOutput()
{
    return m_output.Open(m_protocol.State().codedRate, m_protocol.State().outputRate);
}

void RadioSession::StartBlocks(uint32_t startSequence)
{
    m_output.ResetAndPause();
    m_blocks.Initialise(startSequence);
    m_output.ResetConcealment();
}

void RadioSession::TimerTick()
{
    m_blocks.TimerTick();
    m_protocol.OnTimer();
}

void RadioSession::Close()
{
    m_status.Display().active = 0;
    m_output.CloseForWindowClose();
    m_protocol.SendLogoff();
    Destroy();
    m_output.StopIdleIfPlaying();
}

void RadioSession::Destroy()
{
    m_output.Destroy();
    m_host.CloseSocket();
    m_host.Repaint();
}

} // namespace lumetra::radio
