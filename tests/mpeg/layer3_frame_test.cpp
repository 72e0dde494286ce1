#include "mpeg/layer3/frame_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace lumetra::mpeg {
namespace {

// Bits from memory, zeros past the end.
class MemoryBits {
public:
    explicit MemoryBits(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    uint32_t ReadBits(int n)
    {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++m_pos) {
            const size_t byte = m_pos >> 3;
            const uint32_t bit = byte < m_bytes.size() ? (m_bytes[byte] >> (7 - (m_pos & 7))) & 1 : 0;
            v = (v << 1) | bit;
        }
        return v;
    }

private:
    std::vector<uint8_t> m_bytes;
    size_t m_pos = 0;
};

FrameHeader Header(int id, int bitrateIndex, int mode)
{
    FrameHeader h{};
    h.id = id;
    h.layer = 3;
    h.bitrateIndex = bitrateIndex;
    h.samplingFrequency = 0;
    h.mode = mode;
    return h;
}

struct FrameCase {
    int id;
    int mode;
    int channels;
    int sampleFrames;
};

class FrameLength : public testing::TestWithParam<FrameCase> {};

TEST_P(FrameLength, WritesOneGranuleOf576PerGranule)
{
    const FrameCase c = GetParam();
    FrameDecoder decoder;
    decoder.Reset();
    Synthesis synthesis;
    PcmSamples pcm{};
    // Side information and main data all zero: silence, but decoded.
    MemoryBits bits(std::vector<uint8_t>(1500, 0));
    std::vector<int16_t> block(2 * 1152 + 16, 0x5555);
    int16_t* out = block.data();
    EXPECT_EQ(decoder.Decode(bits, 0, Header(c.id, 9, c.mode), c.channels, synthesis, pcm, out), 0);
    EXPECT_EQ(out - block.data(), c.sampleFrames * c.channels);
    for (int i = 0; i < c.sampleFrames * c.channels; ++i)
        ASSERT_EQ(block[i], 0);
    EXPECT_EQ(block[c.sampleFrames * c.channels], 0x5555);
}

INSTANTIATE_TEST_SUITE_P(Versions, FrameLength,
                         testing::Values(FrameCase{0, kModeSingleChannel, 1, 576},
                                         FrameCase{0, kModeJointStereo, 2, 576},
                                         FrameCase{1, kModeSingleChannel, 1, 1152},
                                         FrameCase{1, kModeStereo, 2, 1152}));

TEST(FrameDecoder, WindowSwitchingWithBlockTypeZeroGivesTheFrameUp)
{
    FrameDecoder decoder;
    decoder.Reset();
    Synthesis synthesis;
    PcmSamples pcm{};
    // MPEG-2 mono side information: main_data_begin 8, private 1, then the
    // granule: part2_3 12, big_values 9, global_gain 8, scalefac_compress 9,
    // window switching 1 with block type 00.
    std::vector<uint8_t> bytes(200, 0);
    bytes[6] = 0x02; // bit 46 of the side information: window switching
    MemoryBits bits(bytes);
    std::vector<int16_t> block(576, 1);
    int16_t* out = block.data();
    EXPECT_EQ(decoder.Decode(bits, 0, Header(0, 9, kModeSingleChannel), 1, synthesis, pcm, out), 0);
    EXPECT_EQ(out - block.data(), 576);
    for (int16_t v : block)
        ASSERT_EQ(v, 0);
}

} // namespace
} // namespace lumetra::mpeg
