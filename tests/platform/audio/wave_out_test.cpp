#include "audio_test_support.h"
#include "platform/audio/wave_out.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace lumetra::platform::audio {
namespace {

using namespace std::chrono_literals;
using testing::BufferSet;
using testing::DoneLog;
using testing::TempDir;
using testing::WriteAll;

// The clock-driven and file backends share the device semantics; each case runs on
// all three. (Buffers played through in order, as real time passes, are what the
// headless player's runs through these backends compare byte for byte.)
class ClockBackendTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override
    {
        m_mixer = std::make_unique<Mixer>();
        std::string choice = GetParam();
        if (choice != "null")
            choice += ":" + m_dir.File("out.wav");
        m_system = CreateAudioSystem(choice, m_mixer.get());
        ASSERT_TRUE(m_system);
    }

    std::unique_ptr<WaveOutDevice> Open(const WaveFormat& format, DoneLog& log)
    {
        std::unique_ptr<WaveOutDevice> device;
        EXPECT_EQ(m_system->Open(0, format, log.Callback(), device), kWaveOk);
        return device;
    }

    std::vector<uint8_t> FileData()
    {
        auto file = testing::ReadFile(m_dir.File("out.wav"));
        if (file.size() < 44)
            return {};
        EXPECT_EQ(testing::Le32(file, 4), file.size() - 8);
        EXPECT_EQ(testing::Le32(file, 40), file.size() - 44);
        return {file.begin() + 44, file.end()};
    }

    bool HasFile() const { return GetParam() != "null"; }
    void ExpectFile(const std::vector<uint8_t>& expected)
    {
        if (HasFile()) {
            EXPECT_EQ(FileData(), expected);
        }
    }

    TempDir m_dir;
    std::unique_ptr<Mixer> m_mixer;
    std::unique_ptr<AudioSystem> m_system;
};

TEST_P(ClockBackendTest, ResetReturnsEveryQueuedBufferBeforeItReturnsAndAllowsClose)
{
    const auto format = MakePcmFormat(1, 8000, 8);
    std::vector<uint8_t> sound(8000 * 3);
    for (size_t i = 0; i < sound.size(); ++i)
        sound[i] = static_cast<uint8_t>(128 + 100 * std::sin(i * 0.05));
    BufferSet set(sound, 2048);
    DoneLog log;
    auto device = Open(format, log);
    ASSERT_EQ(device->Pause(), kWaveOk);
    ASSERT_TRUE(WriteAll(*device, set));
    EXPECT_EQ(device->Close(), kWaveStillPlaying);
    EXPECT_EQ(device->Unprepare(&set.headers[0]), kWaveStillPlaying);
    ASSERT_EQ(device->Restart(), kWaveOk);
    if (GetParam() != "file-fast")
        std::this_thread::sleep_for(100ms);
    ASSERT_EQ(device->Reset(), kWaveOk);
    ASSERT_EQ(log.Count(), set.headers.size());
    auto returned = log.Headers();
    for (size_t i = 0; i < returned.size(); ++i) {
        EXPECT_EQ(returned[i]->user, static_cast<intptr_t>(i));
        EXPECT_EQ(returned[i]->flags & (kWhdrDone | kWhdrInQueue), kWhdrDone);
    }
    EXPECT_EQ(device->PositionSamples(), 0u);
    EXPECT_EQ(device->Unprepare(&set.headers[0]), kWaveOk);
    EXPECT_EQ(device->Close(), kWaveOk);
    EXPECT_EQ(device->Close(), kWaveInvalidHandle);
    if (HasFile()) {
        // Exactly what was played before the reset: a prefix of the sound.
        auto data = FileData();
        ASSERT_LE(data.size(), sound.size());
        EXPECT_TRUE(std::equal(data.begin(), data.end(), sound.begin()));
        if (GetParam() == "file") {
            EXPECT_LT(data.size(), sound.size());
        }
    }
}

TEST_P(ClockBackendTest, PauseHoldsTheQueueAndThePositionUntilRestart)
{
    // Longer than the lead the clock backends write ahead, so that buffers are
    // still queued when the first ones come back.
    const auto format = MakePcmFormat(1, 11025, 16);
    BufferSet set(testing::Tone16(1, 11025, 1.2), 1102);
    DoneLog log;
    auto device = Open(format, log);
    ASSERT_EQ(device->Pause(), kWaveOk);
    ASSERT_TRUE(WriteAll(*device, set));
    std::this_thread::sleep_for(80ms);
    EXPECT_EQ(log.Count(), 0u);
    EXPECT_EQ(device->PositionSamples(), 0u);

    ASSERT_EQ(device->Restart(), kWaveOk);
    ASSERT_TRUE(log.WaitFor(1));
    ASSERT_EQ(device->Pause(), kWaveOk);
    const uint64_t held = device->PositionSamples();
    const size_t returned = log.Count();
    std::this_thread::sleep_for(80ms);
    EXPECT_EQ(device->PositionSamples(), held);
    EXPECT_EQ(log.Count(), returned);
    if (GetParam() != "file-fast") {
        EXPECT_LT(returned, set.headers.size());
    }

    ASSERT_EQ(device->Restart(), kWaveOk);
    ASSERT_TRUE(log.WaitFor(set.headers.size()));
    EXPECT_EQ(device->PositionSamples(), set.bytes.size() / 2);
    EXPECT_EQ(device->Close(), kWaveOk);
    ExpectFile(set.bytes);
}

TEST_P(ClockBackendTest, SamplesCarryTheLineGainAndFeedItsMeter)
{
    m_mixer->SetVolumeValue(MixerLine::Wave, 32768);
    m_mixer->SetVolumeValue(MixerLine::Master, 65535);
    const auto format = MakePcmFormat(1, 22050, 16);
    BufferSet set(testing::Tone16(1, 22050, 0.2, 30000), 4410);
    auto expected = set.bytes;
    const uint32_t gain = m_mixer->GainQ16(MixerLine::Wave);
    ScaleSamples(expected.data(), expected.size(), 16, gain);
    DoneLog log;
    auto device = Open(format, log);
    ASSERT_TRUE(WriteAll(*device, set));
    ASSERT_TRUE(log.WaitFor(set.headers.size()));
    const int32_t meter = m_mixer->ReadMeter(MixerLine::Wave);
    EXPECT_EQ(device->Close(), kWaveOk);
    // The caller's buffers are left as they were.
    EXPECT_EQ(set.bytes, testing::Tone16(1, 22050, 0.2, 30000));
    ExpectFile(expected);
    // Peak of the tone (about 30000 x 0.95) halved.
    EXPECT_GT(meter, 13000);
    EXPECT_LT(meter, 15100);
}

TEST_P(ClockBackendTest, RefusesUnpreparedBuffersAndBadFormats)
{
    DoneLog log;
    std::unique_ptr<WaveOutDevice> device;
    EXPECT_EQ(m_system->Open(0, MakePcmFormat(3, 22050, 16), log.Callback(), device), kWaveBadFormat);
    EXPECT_EQ(m_system->Open(1, MakePcmFormat(1, 22050, 8), log.Callback(), device), kWaveBadDeviceId);
    EXPECT_FALSE(device);
    device = Open(MakePcmFormat(1, 22050, 8), log);
    uint8_t bytes[64] = {};
    WaveHeader h;
    h.data = bytes;
    h.bufferLength = sizeof bytes;
    EXPECT_EQ(device->Write(&h), kWaveUnprepared);
    EXPECT_EQ(device->Close(), kWaveOk);
    EXPECT_EQ(device->Write(&h), kWaveInvalidHandle);
}

INSTANTIATE_TEST_SUITE_P(Backends, ClockBackendTest, ::testing::Values("null", "file", "file-fast"),
                         [](const auto& info) {
                             return info.param == "file-fast" ? std::string("file_fast") : info.param;
                         });

// Formats are answered without opening; the device list and capabilities follow
// the choice string ("null:" and a format mask per device).
TEST(AudioSystemTest, FormatsDevicesAndCapabilitiesFollowTheChoiceString)
{
    const struct {
        const char* choice;
        int device, channels, rate, bits, expected;
    } formats[] = {
        {"null", 0, 1, 22050, 8, kWaveOk},
        {"null", 0, 2, 44100, 16, kWaveOk},
        {"null", 0, 1, 8000, 8, kWaveOk},
        {"null", 0, 2, 48000, 16, kWaveOk},
        {"null", 0, 1, 7999, 8, kWaveBadFormat},
        {"null", 0, 1, 96000, 16, kWaveBadFormat},
        {"null", 0, 1, 22050, 24, kWaveBadFormat},
        {"null", 0, 6, 22050, 16, kWaveBadFormat},
        {"null", 1, 1, 22050, 8, kWaveBadDeviceId},
        {"null:0x0,0xfff", 0, 1, 22050, 8, kWaveBadFormat},
        {"null:0x0,0xfff", 1, 1, 22050, 8, kWaveOk},
        {"null:0xef", 0, 2, 22050, 16, kWaveOk},
    };
    for (const auto& c : formats) {
        auto system = CreateAudioSystem(c.choice);
        ASSERT_TRUE(system);
        EXPECT_EQ(system->QueryFormat(c.device, MakePcmFormat(c.channels, c.rate, c.bits)), c.expected)
            << c.choice << " " << c.device << " " << c.channels << "x" << c.rate << "x" << c.bits;
    }

    auto system = CreateAudioSystem("null:0x1,0x10");
    ASSERT_TRUE(system);
    ASSERT_EQ(system->DeviceCount(), 2);
    DeviceCaps caps;
    ASSERT_EQ(system->GetCaps(0, caps), kWaveOk);
    EXPECT_FALSE(caps.formats & kFormat2M08);
    ASSERT_EQ(system->GetCaps(1, caps), kWaveOk);
    EXPECT_TRUE(caps.formats & kFormat2M08);
    EXPECT_FALSE(caps.productName.empty());
    EXPECT_EQ(system->GetCaps(2, caps), kWaveBadDeviceId);
    for (const char* bad : {"null:zz", "file:", "speaker"})
        EXPECT_EQ(CreateAudioSystem(bad), nullptr) << bad;
}

TEST(FileBackend, ConcurrentDevicesGetTheirOwnFilesAndLaterOpensAppend)
{
    TempDir dir;
    auto system = CreateAudioSystem("file-fast:" + dir.File("out.wav"));
    const auto format = MakePcmFormat(1, 22050, 8);
    BufferSet first(std::vector<uint8_t>(1000, 200), 500);
    BufferSet second(std::vector<uint8_t>(300, 50), 300);
    DoneLog logA, logB;
    std::unique_ptr<WaveOutDevice> a, b;
    ASSERT_EQ(system->Open(0, format, logA.Callback(), a), kWaveOk);
    ASSERT_EQ(system->Open(0, format, logB.Callback(), b), kWaveOk);
    ASSERT_TRUE(WriteAll(*a, first));
    ASSERT_TRUE(WriteAll(*b, second));
    ASSERT_TRUE(logA.WaitFor(first.headers.size()));
    ASSERT_TRUE(logB.WaitFor(second.headers.size()));
    EXPECT_EQ(a->Close(), kWaveOk);
    EXPECT_EQ(b->Close(), kWaveOk);
    EXPECT_EQ(testing::ReadFile(dir.File("out.wav")).size(), 44u + 1000u);
    EXPECT_EQ(testing::ReadFile(dir.File("out-1.wav")).size(), 44u + 300u);

    // The same format again continues the file; another one starts it afresh.
    ASSERT_EQ(system->Open(0, format, logA.Callback(), a), kWaveOk);
    for (auto& h : first.headers)
        h.flags = 0;
    ASSERT_TRUE(WriteAll(*a, first));
    ASSERT_TRUE(logA.WaitFor(2 * first.headers.size()));
    EXPECT_EQ(a->Close(), kWaveOk);
    auto file = testing::ReadFile(dir.File("out.wav"));
    EXPECT_EQ(file.size(), 44u + 2000u);
    EXPECT_EQ(testing::Le32(file, 40), 2000u);
    ASSERT_EQ(system->Open(0, MakePcmFormat(2, 22050, 16), logA.Callback(), a), kWaveOk);
    EXPECT_EQ(a->Close(), kWaveOk);
    EXPECT_EQ(testing::ReadFile(dir.File("out.wav")).size(), 44u);
}

TEST(FileBackend, HeaderIsValidWhileStillPlaying)
{
    TempDir dir;
    auto system = CreateAudioSystem("file:" + dir.File("live.wav"));
    const auto format = MakePcmFormat(1, 8000, 8);
    BufferSet set(std::vector<uint8_t>(8000, 90), 400);
    DoneLog log;
    std::unique_ptr<WaveOutDevice> device;
    ASSERT_EQ(system->Open(0, format, log.Callback(), device), kWaveOk);
    ASSERT_TRUE(WriteAll(*device, set));
    ASSERT_TRUE(log.WaitFor(3));
    // A crash now would leave this file: its sizes must match its length.
    auto file = testing::ReadFile(dir.File("live.wav"));
    ASSERT_GE(file.size(), 44u + 1200u);
    EXPECT_EQ(testing::Le32(file, 4), file.size() - 8);
    EXPECT_EQ(testing::Le32(file, 40), file.size() - 44);
    EXPECT_EQ(device->Reset(), kWaveOk);
    EXPECT_EQ(device->Close(), kWaveOk);
}

} // namespace
} // namespace lumetra::platform::audio
