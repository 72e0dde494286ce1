#pragma once
// Reception between the wire and the sound device: decoded datagrams are spread
// over two-second blocks of eight (so a lost datagram leaves eight short holes),
// the reception state drives the status line, and the 200 ms timer watches for a
// lost transmission, a slow computer and a slow link.

#include <array>
#include <cstdint>
#include <span>

#include "radio/receiver/concealment.h"
#include "radio/receiver/payload_decoder.h"

namespace lumetra::radio {

class RadioSession;

enum class ReceptionState : int { Receiving = 0, Lost = 1, Connecting = 2, Recovering = 3 };

struct BlockRecord {
    uint32_t base = 0; // first sequence number, a multiple of 8
    std::array<uint32_t, kDatagramsPerBlock> received{};
    std::array<uint8_t, kBlockSamples> samples{};
};

struct ReceptionVars {
    ReceptionState state = ReceptionState::Connecting;
    bool bufferingShown = false;
    int64_t lostSince = 0; // seconds of the last underrun, 0 when none
    uint32_t lastTick = 0;
    bool slowComputer = false;
    bool slowLink = false;
    int bitRateFigure = 0; // payload length of the last audio datagram
};

class ReceptionBlocks {
public:
    explicit ReceptionBlocks(RadioSession& session);

    void ConnectReset();
    void Initialise(uint32_t startSequence);
    // Decodes audio datagram q; false while the discard key is held (nothing is
    // placed). When q lies in the block after the current one, the current block
    // is finished: it comes back in passed, to be flushed and advanced past
    // before Place.
    bool Take(uint32_t sequence, std::span<const uint8_t> payload, BlockRecord*& passed);
    // Places the datagram taken last; returns the current block when that made
    // it complete, to be flushed and advanced past in turn.
    BlockRecord* Place(uint32_t sequence);
    void BlockPlayed(int lost);
    void OutputStarted();                 // the output queued enough and started
    void TransmissionLost(int64_t since); // the output ran dry at this time
    void TimerTick();
    // After a flush: the flushed block becomes the previous one, the next begins.
    void Advance();

    BlockRecord& Current() { return m_records[m_current]; }
    BlockRecord& Previous() { return m_records[m_previous]; }
    // What the reception report carries: the flags of the last completed block.
    const std::array<uint32_t, 8>& LastCompletedFlags() const { return m_records[m_previous].received; }
    // Output buffers to queue before the device starts: two blocks at 8000 Hz, else six.
    int StartThreshold() const;

    ReceptionVars& Vars() { return m_vars; }

private:
    RadioSession& m_session;
    ReceptionVars m_vars;
    std::array<BlockRecord, 2> m_records;
    int m_current = 1;
    int m_previous = 0;
    std::array<uint8_t, kSamplesPerDatagram> m_decoded{};
};

} // namespace lumetra::radio
