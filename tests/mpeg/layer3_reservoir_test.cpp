#include "mpeg/layer3/bit_reservoir.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumetra::mpeg {
namespace {

// Appends a frame's main data whose bytes count up from first.
void AppendFrame(BitReservoir& r, int slots, int first)
{
    for (int i = 0; i < slots; ++i)
        r.AppendByte(static_cast<uint32_t>(first + i) & 0xff);
}

TEST(BitReservoir, FramesReferringBeforeTheFirstFrameReadAreGivenUp)
{
    BitReservoir r;
    // Opened mid-stream: the first frame's data starts 100 bytes back.
    AppendFrame(r, 300, 0);
    EXPECT_LT(r.BeginFrame(100, 300), 0);
    // The next one starts 50 bytes into the first frame's data: available.
    AppendFrame(r, 300, 300);
    EXPECT_EQ(r.BeginFrame(50, 300), 250);
    EXPECT_EQ(r.ReadBits(8), 250u);
    EXPECT_EQ(r.ReadBits(16), (251u << 8) | 252u);
}

TEST(BitReservoir, EachFrameStartsWhereItsMainDataBeginPoints)
{
    BitReservoir r;
    AppendFrame(r, 200, 0);
    ASSERT_EQ(r.BeginFrame(0, 200), 0);
    r.SkipBits(150 * 8 + 3); // the frame's granules used 150 bytes and 3 bits
    AppendFrame(r, 200, 200);
    // Decoding stopped inside byte 150; this frame's data starts 40 bytes back.
    EXPECT_EQ(r.BeginFrame(40, 200), 200 - 151 - 40);
    EXPECT_EQ(r.ReadBits(8), 160u);
}

TEST(BitReservoir, RunsOnAcrossTheRingForManyFrames)
{
    BitReservoir r;
    int first = 0;
    for (int frame = 0; frame < 100; ++frame) {
        AppendFrame(r, 417, first);
        const int back = frame == 0 ? 0 : 17;
        ASSERT_GE(r.BeginFrame(back, 417), 0) << "frame " << frame;
        const int start = first - back;
        for (int i = 0; i < 400; ++i)
            ASSERT_EQ(r.ReadBits(8), static_cast<uint32_t>(start + i) & 0xff) << "frame " << frame << " byte " << i;
        first += 417;
    }
    EXPECT_LT(r.Position(), 2 * BitReservoir::kBytes * 8);
}

TEST(BitReservoir, ResetForgetsEverything)
{
    BitReservoir r;
    AppendFrame(r, 500, 1);
    ASSERT_EQ(r.BeginFrame(0, 500), 0);
    r.SkipBits(4000);
    r.Reset();
    EXPECT_EQ(r.Position(), 0);
    EXPECT_EQ(r.FrameStart(), 0);
    EXPECT_EQ(r.Peek32(), 0u);
    AppendFrame(r, 10, 0);
    EXPECT_LT(r.BeginFrame(1, 10), 0);
    // Reads past the written data give zeros.
    r.Reset();
    r.AppendByte(0xff);
    r.AppendByte(0xff);
    EXPECT_EQ(r.Peek32(), 0xffff0000u);
    r.SkipBits(12);
    EXPECT_EQ(r.ReadBits(8), 0xf0u);
    EXPECT_EQ(r.ReadBits(32), 0u);
}

} // namespace
} // namespace lumetra::mpeg
