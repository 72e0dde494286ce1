#include "audio_test_support.h"
#include "platform/audio/sound_player.h"
#include "platform/audio/wav_file_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace lumetra::platform::audio {
namespace {

using namespace std::chrono_literals;

std::vector<uint8_t> MakeWav(const testing::TempDir& dir, const WaveFormat& format, const std::vector<uint8_t>& pcm)
{
    {
        WavFileWriter writer;
        writer.Open(dir.File("in.wav"), format, false);
        writer.Append(pcm.data(), pcm.size());
    }
    return testing::ReadFile(dir.File("in.wav"));
}

class SoundPlayerTest : public ::testing::Test {
protected:
    void SetUp() override { m_system = CreateAudioSystem("file-fast:" + m_dir.File("out.wav"), &m_mixer); }

    std::vector<uint8_t> Output()
    {
        auto file = testing::ReadFile(m_dir.File("out.wav"));
        return file.size() < 44 ? std::vector<uint8_t>{} : std::vector<uint8_t>(file.begin() + 44, file.end());
    }

    static bool WaitUntilQuiet(SoundPlayer& player)
    {
        for (int i = 0; i < 2000 && player.IsPlaying(); ++i)
            std::this_thread::sleep_for(5ms);
        return !player.IsPlaying();
    }

    testing::TempDir m_dir;
    Mixer m_mixer;
    std::unique_ptr<AudioSystem> m_system;
};

TEST_F(SoundPlayerTest, PlaysOnceAtItsVolumeTimesTheWaveLine)
{
    const auto format = MakePcmFormat(1, 22050, 16);
    auto pcm = testing::Tone16(1, 22050, 0.35, 20000);
    auto wav = MakeWav(m_dir, format, pcm);
    m_mixer.SetVolumeValue(MixerLine::Wave, 32767);
    SoundPlayer player(*m_system);
    ASSERT_TRUE(player.Play(wav, false, 0x7FFF));
    ASSERT_TRUE(WaitUntilQuiet(player));
    player.Stop();

    auto expected = pcm;
    ScaleSamples(expected.data(), expected.size(), 16, 32767); // 0x7FFF / 65535 in 1/65536 steps
    ScaleSamples(expected.data(), expected.size(), 16, m_mixer.GainQ16(MixerLine::Wave));
    EXPECT_EQ(Output(), expected);
}

TEST_F(SoundPlayerTest, LoopsSeamlesslyUntilStopped)
{
    const auto format = MakePcmFormat(1, 8000, 8);
    std::vector<uint8_t> pcm(1234);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<uint8_t>(i * 7);
    auto wav = MakeWav(m_dir, format, pcm);
    SoundPlayer player(*m_system);
    ASSERT_TRUE(player.Play(wav, true));
    std::this_thread::sleep_for(30ms);
    EXPECT_TRUE(player.IsPlaying());
    player.Stop();
    EXPECT_FALSE(player.IsPlaying());
    auto out = Output();
    ASSERT_GT(out.size(), 3 * pcm.size());
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], pcm[i % pcm.size()]) << i;
}

TEST_F(SoundPlayerTest, RefusesWhatItCannotPlayAndANewSoundReplacesTheOld)
{
    SoundPlayer player(*m_system);
    std::vector<uint8_t> junk{'R', 'I', 'F', 'F', 1, 2, 3};
    EXPECT_FALSE(player.Play(junk, false));
    EXPECT_FALSE(player.PlayResource("no such sound", false));
    EXPECT_FALSE(player.IsPlaying());

    const auto format = MakePcmFormat(1, 8000, 8);
    auto wav = MakeWav(m_dir, format, std::vector<uint8_t>(500, 10));
    ASSERT_TRUE(player.Play(wav, true));
    auto second = MakeWav(m_dir, format, std::vector<uint8_t>(300, 240));
    ASSERT_TRUE(player.Play(second, false));
    ASSERT_TRUE(WaitUntilQuiet(player));
    // The second sound started its own file (the first device had closed).
    auto out = Output();
    ASSERT_GE(out.size(), 300u);
    EXPECT_TRUE(std::all_of(out.end() - 300, out.end(), [](uint8_t b) { return b == 240; }));
}

} // namespace
} // namespace lumetra::platform::audio
