#include "ui/position_bar.h"

#include <gtest/gtest.h>

namespace lumetra::ui {
namespace {

constexpr int32_t kRate = 44100;
constexpr int32_t kTotal = 200 * kRate; // 3:20

TEST(PositionBarTest, ThumbStaysOnItsTravel)
{
    EXPECT_EQ(ThumbX(0, kTotal), 0);
    EXPECT_EQ(ThumbX(kTotal, kTotal), 133);
    EXPECT_EQ(ThumbX(2LL * kTotal, kTotal), 133);
    EXPECT_EQ(ThumbX(-5, kTotal), 0);
    EXPECT_EQ(ThumbX(100, 0), 0);
    // Large positions on a long item do not overflow.
    EXPECT_EQ(ThumbX(INT32_MAX, INT32_MAX), 133);
}

TEST(PositionBarTest, GrabInsideTheThumbOrItsMiddle)
{
    EXPECT_EQ(GrabOffset(50, 40), 10);
    EXPECT_EQ(GrabOffset(40, 40), 0);
    EXPECT_EQ(GrabOffset(75, 40), 35);
    EXPECT_EQ(GrabOffset(76, 40), 18);
    EXPECT_EQ(GrabOffset(39, 40), 18);
}

struct ReadoutCase {
    int barX, grab, skip;
    const char* text;
};

TEST(PositionBarTest, ReadoutNeverLeavesTheTrack)
{
    const ReadoutCase cases[] = {
        {18, 18, 0, "seek to: 0:00 of 3:20 <0%>"},
        {-500, 18, 0, "seek to: 0:00 of 3:20 <0%>"},
        {151, 18, 0, "seek to: 3:20 of 3:20 <100%>"},
        {5000, 18, 0, "seek to: 3:20 of 3:20 <100%>"},
        {18, 18, -300000, "seek to: 0:00 of 3:20 <0%>"},
        {151, 18, 300000, "seek to: 3:20 of 3:20 <100%>"},
        {84, 18, 0, "seek to: 1:39 of 3:20 <49%>"},
        // A skip of one second moves the read-out by one second.
        {84, 18, SkipStep(kRate, kTotal), "seek to: 1:40 of 3:20 <50%>"},
    };
    for (const auto& c : cases) {
        DragTarget t = DragTo(c.barX, c.grab, c.skip, kTotal, kRate);
        EXPECT_EQ(SeekReadout(t), c.text) << c.barX << " " << c.skip;
        EXPECT_GE(t.thumbX, 0);
        EXPECT_LE(t.thumbX, 133);
    }
    // Nothing loaded: no division by zero.
    EXPECT_EQ(SeekReadout(DragTo(50, 18, 0, 0, 0)), "seek to: 0:00 of 0:00 <0%>");
}

TEST(PositionBarTest, SeekTargetIsClampedToTheFile)
{
    const int32_t size = 3'000'000;
    EXPECT_EQ(SeekTarget(18, 18, 0, size), 0);
    EXPECT_EQ(SeekTarget(0, 18, 0, size), 0);
    EXPECT_EQ(SeekTarget(151, 18, 0, size), size);
    EXPECT_EQ(SeekTarget(168, 18, 100000, size), size);
    EXPECT_EQ(SeekTarget(84, 18, -100000, size), 0);
    EXPECT_EQ(SeekTarget(84, 18, 0, size), int32_t(int64_t{66} * size / 133));
    // The largest file and a full skip stay in range.
    EXPECT_EQ(SeekTarget(151, 18, 100000, INT32_MAX), INT32_MAX);
    EXPECT_EQ(SeekTarget(50, 18, 0, 0), 0);
}

} // namespace
} // namespace lumetra::ui
