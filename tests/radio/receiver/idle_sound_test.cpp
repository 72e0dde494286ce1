#include <gtest/gtest.h>

#include "fake_radio_host.h"
#include "platform/resources/resources.h"
#include "radio/receiver/idle_sound.h"

namespace lumetra::radio::testing {
namespace {

TEST(IdleSound, ResourceIsShortQuietEightBitMono)
{
    auto resource = platform::FindResource("wave", "idle");
    ASSERT_TRUE(resource);
    auto wav = ParseWav(*resource);
    ASSERT_TRUE(wav);
    EXPECT_EQ(wav->format.channels, 1);
    EXPECT_EQ(wav->format.bitsPerSample, 8);
    EXPECT_EQ(wav->format.samplesPerSec, 8000u);
    EXPECT_GE(wav->data.size(), 2000u);
    int peak = 0;
    for (uint8_t x : wav->data)
        peak = std::max(peak, std::abs(int(x) - 128));
    EXPECT_GT(peak, 4);
    EXPECT_LT(peak, 40);
}

TEST(IdleSound, LoopsUntilStopped)
{
    FakeAudio audio;
    IdleSound idle(audio);
    ASSERT_TRUE(idle.Start());
    ASSERT_NE(audio.device, nullptr);
    ASSERT_EQ(audio.device->queue.size(), 1u);
    audio.device->Play(1);
    EXPECT_EQ(audio.device->queue.size(), 1u);  // queued again
    audio.device->Play(1);
    EXPECT_EQ(audio.device->played.size(), 2 * audio.device->queue.front()->bufferLength);
    idle.Stop();
    EXPECT_EQ(audio.device, nullptr);
    EXPECT_FALSE(idle.Playing());
}

struct BadWav {
    const char* name;
    std::vector<uint8_t> bytes;
};

class IdleSoundBadWav : public ::testing::TestWithParam<BadWav> {};

TEST_P(IdleSoundBadWav, IsRefused)
{
    EXPECT_FALSE(ParseWav(GetParam().bytes));
}

std::vector<uint8_t> Riff(std::vector<uint8_t> chunks)
{
    std::vector<uint8_t> out{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Files, IdleSoundBadWav,
    ::testing::Values(BadWav{"empty", {}}, BadWav{"not_riff", {'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}},
                      BadWav{"data_before_fmt", Riff({'d', 'a', 't', 'a', 2, 0, 0, 0, 1, 2})},
                      BadWav{"huge_chunk", Riff({'j', 'u', 'n', 'k', 0xFF, 0xFF, 0xFF, 0xFF, 1})},
                      BadWav{"not_pcm", Riff({'f', 'm', 't', ' ', 16, 0, 0, 0, 3, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F,
                                              0, 0, 1, 0, 8, 0, 'd', 'a', 't', 'a', 1, 0, 0, 0, 7})}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace lumetra::radio::testing
