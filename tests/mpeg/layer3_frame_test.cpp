#include "mpeg/layer3/frame_decoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumetra::mpeg {
namespace {

TEST(FrameDecoder, WindowSwitchingWithBlockTypeZeroGivesTheFrameUp)
{
    FrameDecoder decoder;
    decoder.Reset();
    Synthesis synthesis;
    PcmSamples pcm{};
    // MPEG-2 mono side information: main_data_begin 8, private 1, then the
    // granule: part2_3 12, big_values 9, global_gain 8, scalefac_compress 9,
    // window switching 1 with block type 00. Zeros after the 200 bytes.
    BitReservoir bits;
    for (int i = 0; i < 200; ++i)
        bits.AppendByte(i == 6 ? 0x02 : 0); // bit 46 of the side information: window switching
    FrameHeader h{};
    h.layer = 3;
    h.bitrateIndex = 9;
    h.mode = kModeSingleChannel;
    std::vector<int16_t> block(576, 1);
    int16_t* out = block.data();
    EXPECT_EQ(decoder.Decode(bits, 0, h, 1, synthesis, pcm, out), 0);
    EXPECT_EQ(out - block.data(), 576);
    for (int16_t v : block)
        ASSERT_EQ(v, 0);
}

} // namespace
} // namespace lumetra::mpeg
