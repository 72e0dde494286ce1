#include "platform/audio/mixer.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumetra::platform::audio {
namespace {

// The engine scales a volume v onto a control as minimum + maximum x v / 65535;
// on our 0..65535 controls that must give v back on every line.
TEST(MixerTest, VolumeControlsMapTheEngineVolumeOntoThemselves)
{
    Mixer mixer;
    for (MixerLine line : {MixerLine::Master, MixerLine::Cd, MixerLine::Midi, MixerLine::Wave}) {
        MixerControl c = mixer.VolumeControl(line);
        EXPECT_FALSE(c.isSigned);
        for (int32_t v : {0, 1, 32767, 65534, 65535}) {
            int32_t value = c.minimum + static_cast<int32_t>(static_cast<int64_t>(c.maximum) * v / 65535);
            mixer.SetVolumeValue(line, value);
            EXPECT_EQ(mixer.VolumeValue(line), v);
        }
    }
    mixer.SetVolumeValue(MixerLine::Cd, 70000);
    EXPECT_EQ(mixer.VolumeValue(MixerLine::Cd), 65535);
    mixer.SetVolumeValue(MixerLine::Cd, -5);
    EXPECT_EQ(mixer.VolumeValue(MixerLine::Cd), 0);
}

struct GainCase {
    int32_t master, line;
    uint32_t q16;
};

class MixerGainTest : public ::testing::TestWithParam<GainCase> {};

TEST_P(MixerGainTest, LineGainIsItsControlTimesMaster)
{
    Mixer mixer;
    mixer.SetVolumeValue(MixerLine::Master, GetParam().master);
    mixer.SetVolumeValue(MixerLine::Wave, GetParam().line);
    EXPECT_EQ(mixer.GainQ16(MixerLine::Wave), GetParam().q16);
    EXPECT_FLOAT_EQ(mixer.Gain(MixerLine::Wave), GetParam().q16 / 65536.0f);
    // The CD line is untouched by the wave control.
    EXPECT_EQ(mixer.GainQ16(MixerLine::Cd), mixer.GainQ16(MixerLine::Master));
}

INSTANTIATE_TEST_SUITE_P(Gains, MixerGainTest,
                         ::testing::Values(GainCase{65535, 65535, 65536}, GainCase{65535, 0, 0}, GainCase{0, 65535, 0},
                                           GainCase{65535, 32767, 32767}, GainCase{32767, 32767, 16383}));

TEST(ScaleSamplesTest, SixteenBitTruncatesTowardZeroAndUnityIsExact)
{
    std::vector<int16_t> samples{0, 1, -1, 3, -3, 32767, -32768, 1000, -1000};
    std::vector<uint8_t> bytes(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(static_cast<uint16_t>(samples[i]) & 0xFF);
        bytes[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(samples[i]) >> 8);
    }
    auto unity = bytes;
    EXPECT_EQ(ScaleSamples(unity.data(), unity.size(), 16, 65536), 32768);
    EXPECT_EQ(unity, bytes);

    auto half = bytes;
    EXPECT_EQ(ScaleSamples(half.data(), half.size(), 16, 32768), 16384);
    std::vector<int16_t> expected{0, 0, 0, 1, -1, 16383, -16384, 500, -500};
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(static_cast<int16_t>(half[2 * i] | (half[2 * i + 1] << 8)), expected[i]) << i;
}

TEST(ScaleSamplesTest, EightBitScalesAroundTheMidpoint)
{
    std::vector<uint8_t> bytes{128, 0, 255, 129, 127, 200};
    auto unity = bytes;
    EXPECT_EQ(ScaleSamples(unity.data(), unity.size(), 8, 65536), 128 * 256);
    EXPECT_EQ(unity, bytes);
    auto quarter = bytes;
    ScaleSamples(quarter.data(), quarter.size(), 8, 16384);
    EXPECT_EQ(quarter, (std::vector<uint8_t>{128, 96, 159, 128, 128, 146}));
    auto silent = bytes;
    EXPECT_EQ(ScaleSamples(silent.data(), silent.size(), 8, 0), 0);
    EXPECT_EQ(silent, std::vector<uint8_t>(bytes.size(), 128));
}

TEST(MixerMeterTest, ReadingsGiveTheEngineLevelScaleAndClearOnRead)
{
    Mixer mixer;
    EXPECT_TRUE(mixer.HasMeter(MixerLine::Wave));
    EXPECT_TRUE(mixer.HasMeter(MixerLine::Midi));
    EXPECT_FALSE(mixer.HasMeter(MixerLine::Master));
    EXPECT_FALSE(mixer.HasMeter(MixerLine::Cd));
    MixerControl meter = mixer.MeterControl(MixerLine::Wave);
    EXPECT_TRUE(meter.isSigned);
    EXPECT_EQ(meter.maximum / 4, 8191);

    std::vector<int16_t> loud{100, -32768, 5};
    mixer.FeedMeter(MixerLine::Wave, loud.data(), static_cast<int>(loud.size()));
    EXPECT_EQ(mixer.ReadMeter(MixerLine::Wave), 32767);
    EXPECT_EQ(mixer.ReadMeter(MixerLine::Wave), 0);

    std::vector<uint8_t> eight{128, 20, 140};
    mixer.FeedMeter8(MixerLine::Midi, eight.data(), 3);
    EXPECT_EQ(mixer.ReadMeter(MixerLine::Midi), 108 * 256);
    EXPECT_EQ(mixer.ReadMeter(MixerLine::Wave), 0);

    std::vector<uint8_t> pcm{0x10, 0x27, 0xF0, 0xD8}; // 10000, -10000
    mixer.SetVolumeValue(MixerLine::Master, 32767);
    mixer.Apply(MixerLine::Wave, pcm.data(), pcm.size(), 16);
    EXPECT_EQ(mixer.ReadMeter(MixerLine::Wave), 4999);
    mixer.Apply(MixerLine::Cd, pcm.data(), pcm.size(), 16);
    EXPECT_EQ(mixer.ReadMeter(MixerLine::Cd), 0);
}

} // namespace
} // namespace lumetra::platform::audio
