#pragma once
// One reception: protocol, blocks, output and status, wired together, driven by
// the receiver's commands, timer, datagrams and returned buffers. The receiver
// object owns one; tests and the fuzzer make their own with fake surroundings.

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/audio/wave_out.h"
#include "radio/receiver/payload_decoder.h"
#include "radio/receiver/radio_display.h"
#include "radio/receiver/radio_output.h"
#include "radio/receiver/radio_protocol.h"
#include "radio/receiver/radio_status.h"
#include "radio/receiver/reception_blocks.h"

namespace lumetra::radio {

class RadioHost;

inline constexpr int kCommandConnect = 2000;
inline constexpr int kCommandStop = 2002;
inline constexpr int kCommandExit = 2003;

class RadioSession {
public:
    RadioSession(RadioHost& host, PayloadDecoder& decoder, platform::audio::AudioSystem& audio, RadioDisplay& display);

    void Connect(std::string_view address); // command 2000
    void Stop();                            // command 2002
    void TimerTick();                       // every 200 ms
    // An audio datagram: each block it finishes goes down to the output once.
    void ReceiveAudio(uint32_t sequence, std::span<const uint8_t> payload);
    // The output for the stream's rates, and the blocks from its first sequence number.
    bool OpenOutput();
    void StartBlocks(uint32_t startSequence);
    void OnDatagram(std::span<const uint8_t> bytes, uint32_t sourceIp, uint16_t sourcePort)
    {
        m_protocol.OnDatagram(bytes, sourceIp, sourcePort);
    }
    // Closing the receiver: device, logoff, then (after the socket is gone) the idle sound.
    void Close();
    void Destroy();

    RadioHost& Host() { return m_host; }
    PayloadDecoder& Decoder() { return m_decoder; }
    RadioStatus& Status() { return m_status; }
    RadioProtocol& Protocol() { return m_protocol; }
    ReceptionBlocks& Blocks() { return m_blocks; }
    RadioOutput& Output() { return m_output; }

private:
    void Flush(BlockRecord& block);
    void BufferPlayed(platform::audio::WaveHeader* header);

    RadioHost& m_host;
    PayloadDecoder& m_decoder;
    RadioStatus m_status;
    RadioProtocol m_protocol;
    ReceptionBlocks m_blocks;
    RadioOutput m_output;
};

} // namespace lumetra::radio
