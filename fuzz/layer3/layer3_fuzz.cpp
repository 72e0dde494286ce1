// Layer III frames from arbitrary bytes: side information, reservoir, scale
// factors, Huffman decoding and everything after it. The input is a run of
// frames, each two bytes that choose the header followed by the frame's bits.
#include "mpeg/layer3/frame_decoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace lumetra::mpeg;

namespace {

class MemoryBits {
public:
    MemoryBits(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint32_t ReadBits(int n)
    {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++m_pos) {
            const size_t byte = m_pos >> 3;
            v = (v << 1) | (byte < m_size ? (m_data[byte] >> (7 - (m_pos & 7))) & 1 : 0);
        }
        return v;
    }
    size_t Position() const { return m_pos; }
    bool AtEnd() const { return (m_pos >> 3) >= m_size; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FrameDecoder decoder;
    static Synthesis synthesis;
    static PcmSamples pcm;
    static int16_t block[2 * 1152 + 1];
    decoder.Reset();
    MemoryBits bits(data, size);
    for (int frame = 0; frame < 64 && !bits.AtEnd(); ++frame) {
        const uint32_t a = bits.ReadBits(8), b = bits.ReadBits(8);
        FrameHeader h{};
        h.id = static_cast<int32_t>(a >> 7);
        h.layer = 3;
        h.samplingFrequency = static_cast<int32_t>((a >> 5) & 3) % 3;
        h.mode = static_cast<int32_t>((a >> 3) & 3);
        h.modeExt = static_cast<int32_t>((a >> 1) & 3);
        h.padding = static_cast<int32_t>(a & 1);
        h.bitrateIndex = static_cast<int32_t>(b >> 4) % 15;
        h.errorProtection = static_cast<int32_t>((b >> 3) & 1);
        const int channels = h.mode == kModeSingleChannel ? 1 : 2;
        int16_t* out = block;
        decoder.Decode(bits, static_cast<int64_t>(bits.Position()), h, channels, synthesis, pcm, out);
        if (out - block != (h.id == 1 ? 1152 : 576) * channels)
            std::abort();
    }
    return 0;
}
