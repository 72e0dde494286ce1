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
