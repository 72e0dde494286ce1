// Hostile conversations for the receiver: datagrams from the station (and from
// strangers), timer ticks, clock jumps, played buffers, reconnects and stops, in
// any order, through the real wavelet decoder.

#include <cstddef>
#include <cstdint>

#include "radio/receiver/wavelet_frame_decoder.h"
#include "tests/radio/receiver/fake_radio_host.h"

using namespace lumetra::radio;
using namespace lumetra::radio::testing;

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    bool Empty() const { return n == 0; }
    uint8_t Byte()
    {
        if (!n)
            return 0;
        --n;
        return *p++;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FakeHost host;
    FakeAudio audio;
    WaveletFrameDecoder decoder;
    RadioDisplay display{};
    RadioSession session(host, decoder, audio, display);
    session.Connect("127.0.0.1:4000");

    Reader in{data, size};
    if (in.Byte() & 0x80) {
        // Most runs start from an accepted stream so audio handling is reached.
        session.OnDatagram(MakeText(in.Byte(), kStream, uint16_t(kKindText | (in.Byte() & 0x0700)), {"STARTSEQ", "F"}),
                           kStationIp, kStationPort);
    }
    for (int step = 0; step < 4000 && !in.Empty(); ++step) {
        uint8_t op = in.Byte();
        switch (op & 7) {
        case 0:
        case 1:
        case 2: {
            size_t length = size_t(in.Byte()) | size_t(in.Byte() & 0x1F) << 8;
            length = std::min(length, in.n);
            uint16_t port = (op & 0x40) ? uint16_t(kStationPort + 1) : kStationPort;
            session.OnDatagram(std::span<const uint8_t>(in.p, length), kStationIp, port);
            in.p += length;
            in.n -= length;
            break;
        }
        case 3: {
            // An audio datagram of the current stream with a chosen sequence step.
            uint32_t seq = session.Protocol().State().lastSequence + uint32_t(int8_t(in.Byte()));
            size_t length = std::min<size_t>(in.Byte(), in.n);
            session.OnDatagram(MakeDatagram(seq, session.Protocol().State().stream, kKindAudio,
                                            std::span<const uint8_t>(in.p, length)),
                               kStationIp, kStationPort);
            in.p += length;
            in.n -= length;
            break;
        }
        case 4:
            host.tick += uint32_t(in.Byte()) * 100;
            host.seconds += in.Byte() % 32;
            session.TimerTick();
            break;
        case 5:
            if (audio.device)
                audio.device->Play(in.Byte() % 20);
            host.RunTasks();
            break;
        case 6:
            host.discard = op & 0x10;
            host.filter = op & 0x20;
            break;
        case 7:
            if (op & 0x80)
                session.Stop();
            else if (op & 0x40)
                session.Close();
            else
                session.Connect("127.0.0.1:4000");
            host.RunTasks();
            break;
        }
        if (host.sent.size() > 1000)
            host.sent.clear();
    }
    return 0;
}
