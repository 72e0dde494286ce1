#include "radio/receiver/reception_blocks.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "radio/receiver/radio_host.h"
#include "radio/receiver/radio_session.h"

namespace lumetra::radio {

ReceptionBlocks::ReceptionBlocks(RadioSession& session) : m_session(session) {}

void ReceptionBlocks::ConnectReset()
{
    m_vars.state = ReceptionState::Connecting;
    m_vars.lostSince = 0;
    m_vars.slowComputer = false;
    m_vars.slowLink = false;
    m_vars.bitRateFigure = 0;
}

int ReceptionBlocks::StartThreshold() const
{
    return m_session.Protocol().State().codedRate == 8000 ? 16 : 48;
}

void ReceptionBlocks::Initialise(uint32_t startSequence)
{
    // Reception starts at the next block boundary; the previous base lies where no
    // early datagram can match it.
    uint32_t aligned = startSequence & ~7u;
    Current().base = aligned + 8;
    Previous().base = aligned + 64;
    Current().received.fill(0);
    // The first report, before any block completed, carries 0x01 in every byte.
    Previous().received.fill(0x01010101u);
}

bool ReceptionBlocks::Take(uint32_t q, std::span<const uint8_t> payload, BlockRecord*& passed)
{
    passed = nullptr;
    m_session.Decoder().Decode(payload, m_session.Host().RadioFilter(), m_decoded);
    m_vars.bitRateFigure = int(payload.size());
    if (m_session.Host().DiscardKeyHeld())
        return false;

    uint64_t base = Current().base;
    if (q >= base + 8) {
        if (q >= base + 16) {
            // A long jump re-aligns without playing anything; what the current
            // block held belongs to another time, so it starts empty.
            Current().base = q & ~7u;
            Current().received.fill(0);
            Previous().base = Current().base - 8;
        } else {
            passed = &Current();
        }
    }
    return true;
}

BlockRecord* ReceptionBlocks::Place(uint32_t q)
{
    uint32_t cur = Current().base;
    uint32_t prev = Previous().base;
    if (q < cur && q < prev)
        return nullptr;
    if (q >= prev && uint64_t(q) <= uint64_t(prev) + 7)
        return nullptr;
    if (q < cur || uint64_t(q) > uint64_t(cur) + 7)
        return nullptr;

    int d = int(q - cur);
    Current().received[size_t(d)] = 1;
    for (int j = 0; j < kDatagramsPerBlock; ++j)
        std::memcpy(Current().samples.data() + (8 * j + d) * kSubBlockSamples, m_decoded.data() + j * kSubBlockSamples,
                    kSubBlockSamples);

    if (m_vars.state == ReceptionState::Lost || m_vars.state == ReceptionState::Connecting) {
        int r =
            int(std::count_if(Current().received.begin(), Current().received.end(), [](uint32_t f) { return f != 0; }));
        int full = StartThreshold();
        int percent = std::min(full, m_session.Output().Queued() + r) * 100 / full;
        char text[32];
        std::snprintf(text, sizeof text, "Buffering (%d%%)", percent);
        m_session.Status().Show(text, "sy");
        m_vars.bufferingShown = true;
    }
    return Current().received[7] ? &Current() : nullptr;
}

void ReceptionBlocks::Advance()
{
    uint32_t next = Current().base + 8;
    m_previous = m_current;
    m_current = 1 - m_current;
    Current().base = next;
    Current().received.fill(0);
}

void ReceptionBlocks::BlockPlayed(int lost)
{
    RadioStatus& status = m_session.Status();
    if (lost >= 32 && !m_vars.bufferingShown) {
        status.Show("Transmission Lost", "br");
    } else if (lost == 0) {
        if (m_vars.state == ReceptionState::Recovering) {
            status.Show("Recovering Transmission", "sy");
            m_vars.state = ReceptionState::Receiving;
        } else {
            status.Show("Receiving Transmission", "by");
        }
    } else {
        status.Show("Losing Transmission: Approximating lost sound", "sr");
    }
}

void ReceptionBlocks::OutputStarted()
{
    if (m_vars.state != ReceptionState::Receiving)
        m_vars.state = ReceptionState::Recovering;
}

void ReceptionBlocks::TransmissionLost(int64_t since)
{
    m_vars.state = ReceptionState::Lost;
    m_session.Status().Show("Transmission Lost", "br");
    m_vars.lostSince = since;
    m_vars.bufferingShown = false;
}

void ReceptionBlocks::TimerTick()
{
    RadioHost& host = m_session.Host();
    RadioStatus& status = m_session.Status();
    ProtocolState& protocol = m_session.Protocol().State();
    int64_t now = host.NowSeconds();

    if (m_vars.state != ReceptionState::Connecting) {
        if (!m_vars.bufferingShown && m_vars.lostSince >= 1) {
            int64_t elapsed = std::max<int64_t>(0, now - m_vars.lostSince);
            char text[64];
            std::snprintf(text, sizeof text, "Transmission Lost (%0d:%02d)", int(elapsed / 60), int(elapsed % 60));
            status.Show(text, "sr");
        }
    } else {
        status.Refresh();
    }

    bool receiving = protocol.phase == LogonPhase::Receiving;
    uint32_t tick = host.TickMs();
    if (m_vars.lastTick != 0 && tick - m_vars.lastTick > 10000 && receiving) {
        status.SetStationTitle(protocol.stationName, m_vars.slowLink ? " [Slow CPU & Link]" : " [Slow CPU]");
        m_vars.slowComputer = true;
    }
    m_vars.lastTick = tick;

    if (receiving) {
        int64_t received = int64_t(protocol.lastSequence) - int64_t(protocol.windowStartSequence);
        int64_t expected = (now - protocol.windowStartTime) * protocol.codedRate / kSamplesPerDatagram;
        if (received + 20 < expected) {
            status.SetStationTitle(protocol.stationName, m_vars.slowComputer ? " [Slow CPU & Link]" : " [Slow Link]");
            m_vars.slowLink = true;
        } else if (received > int64_t(protocol.codedRate) * 15 / kSamplesPerDatagram) {
            protocol.windowStartSequence = protocol.lastSequence;
            protocol.windowStartTime = now;
        }
    }
}

} // namespace lumetra::radio
