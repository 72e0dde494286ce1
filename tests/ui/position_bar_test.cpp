#include "engine/media_dispatch.h"
#include "engine/media_item_text.h"
#include "ui/position_bar.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

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

// Sparse files that start with one 128 kbit/s 44.1 kHz frame header, past 2
// and 4 GiB: length (bytes x 44100 / 16000), read-out, thumb and seek target.
TEST(PositionBarTest, FilesPastTwoAndFourGiB)
{
    const struct {
        int64_t bytes, samples;
        const char* readout;
    } cases[] = {{2147483648, 5919001804, "seek to: 2236:57 of 2236:57 <100%>"},
                 {4295384296, 11839152965, "seek to: 4474:21 of 4474:21 <100%>"}};
    const std::string path = ::testing::TempDir() + "long_" + std::to_string(::getpid()) + ".mp3";
    for (const auto& c : cases) {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(f && std::fputs("\xFF\xFB\x90", f) >= 0 && std::fclose(f) == 0);
        ASSERT_EQ(::truncate(path.c_str(), c.bytes), 0);
        MediaItem item = MakeMediaItem();
        std::snprintf(item.path, sizeof item.path, "%s", path.c_str());
        engine::FillMediaInfo(item, engine::DefaultDecoderSource(), nullptr);
        EXPECT_EQ(item.fileSize, c.bytes);
        EXPECT_EQ(engine::ItemSeconds(item), c.samples / kRate);
        EXPECT_EQ(SeekReadout(DragTo(151, 18, 0, item.totalSamples, item.sampleRate)), c.readout);
        EXPECT_EQ(ThumbX(c.samples / 2, c.samples), 66);
        EXPECT_EQ(SeekTarget(84, 18, 0, c.bytes), 66 * c.bytes / 133);
    }
    std::remove(path.c_str());
}

} // namespace
} // namespace lumetra::ui
