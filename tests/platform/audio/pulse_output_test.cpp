// The pulse and ALSA backends against a real PulseAudio server: what is written
// must come out of the server's null sink, recorded from its monitor.

#include "audio_test_support.h"
#include "platform/audio/wave_out.h"
#include "pulse_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

namespace lumetra::platform::audio {
namespace {

using namespace std::chrono_literals;
using testing::BufferSet;
using testing::DoneLog;

struct OutputCase {
    std::string backend;
    int channels, rate, bits;
};

std::string CaseName(const ::testing::TestParamInfo<OutputCase>& info)
{
    std::string name = info.param.backend == "pulse" ? "pulse" : "alsa";
    return name + "_" + std::to_string(info.param.channels) + "ch_" + std::to_string(info.param.rate) + "_" +
           std::to_string(info.param.bits);
}

class ServerOutputTest : public ::testing::TestWithParam<OutputCase> {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new testing::TempDir();
        s_server = new testing::PulseServer(s_dir->Path());
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        delete s_dir;
    }

    void SetUp() override
    {
        if (!s_server->Running())
            GTEST_SKIP() << "pulseaudio could not start here";
        const OutputCase& c = GetParam();
        m_format = MakePcmFormat(c.channels, c.rate, c.bits);
        m_paFormat = c.bits == 8 ? "u8" : "s16le";
        m_sink = "sink" + std::to_string(++s_sinks);
        ASSERT_TRUE(s_server->UseSink(m_sink, m_paFormat, c.rate, c.channels)) << s_server->Log();
        m_system = CreateAudioSystem(c.backend, &m_mixer);
        ASSERT_TRUE(m_system) << c.backend << " did not start";
        m_recording = s_dir->File(m_sink + ".raw");
        ASSERT_TRUE(s_server->StartRecording(m_sink, m_paFormat, c.rate, c.channels, m_recording));
        // The monitor only starts delivering once the server has a moment.
        std::this_thread::sleep_for(300ms);
    }

    std::vector<uint8_t> Tone(double seconds)
    {
        if (m_format.bitsPerSample == 16)
            return testing::Tone16(m_format.channels, m_format.samplesPerSec, seconds);
        auto wide = testing::Tone16(m_format.channels, m_format.samplesPerSec, seconds);
        std::vector<uint8_t> out(wide.size() / 2);
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<uint8_t>((wide[2 * i + 1] + 128) & 0xFF);
        return out;
    }

    bool FrameSilent(const std::vector<uint8_t>& data, size_t frame) const
    {
        for (size_t b = 0; b < m_format.blockAlign; ++b)
            if (data[frame * m_format.blockAlign + b] != (m_format.bitsPerSample == 8 ? 128 : 0))
                return false;
        return true;
    }

    // The monitor runs behind the device, the more so on a busy machine: given the
    // sound played last, the recording goes on until it holds that sound's final
    // moments (those before the frames an ending stream may lose), or 5 s.
    std::vector<uint8_t> StopAndRead(const std::vector<uint8_t>* last = nullptr)
    {
        std::this_thread::sleep_for(250ms);
        if (last) {
            const size_t align = m_format.blockAlign;
            const size_t keyEnd = last->size() - std::min(last->size(), (EdgeFrames() + 1) * align);
            const size_t keyStart = keyEnd - std::min(keyEnd, size_t(100) * align);
            const auto deadline = std::chrono::steady_clock::now() + 5s;
            while (std::chrono::steady_clock::now() < deadline) {
                const auto rec = testing::ReadFile(m_recording);
                if (std::search(rec.begin(), rec.end(), last->begin() + static_cast<long>(keyStart),
                                last->begin() + static_cast<long>(keyEnd)) != rec.end())
                    break;
                std::this_thread::sleep_for(50ms);
            }
        }
        s_server->StopRecording();
        return testing::ReadFile(m_recording);
    }

    // Frame of the recording where the tone's first frame lies (negative when the
    // recording begins inside the tone), found by an exact match of 200 frames
    // taken 50 ms into the tone; nullopt when it is not there.
    std::optional<long> FindTone(const std::vector<uint8_t>& rec, const std::vector<uint8_t>& tone) const
    {
        const size_t align = m_format.blockAlign;
        const size_t probeFrame = m_format.samplesPerSec / 20;
        const size_t probe = 200 * align;
        auto key = tone.begin() + static_cast<long>(probeFrame * align);
        for (size_t f = 0; (f * align + probe) <= rec.size(); ++f)
            if (std::equal(key, key + static_cast<long>(probe), rec.begin() + static_cast<long>(f * align)))
                return static_cast<long>(f) - static_cast<long>(probeFrame);
        return std::nullopt;
    }

    // The monitor of a null sink misses the first moments of a new stream (the
    // sink rewinds into sound it has already passed on; pacat shows the same) and
    // a few frames where a stream is corked or leaves, so comparisons start at the
    // first recorded frame of the tone, which must lie within 50 ms of its start.
    // Returns the tone frames up to the last one recorded exactly.
    size_t MatchingFrames(const std::vector<uint8_t>& rec, const std::vector<uint8_t>& tone, long at) const
    {
        const size_t align = m_format.blockAlign;
        const long lost = std::max(0L, -at);
        EXPECT_LE(lost, static_cast<long>(m_format.samplesPerSec / 20));
        size_t recFrame = static_cast<size_t>(std::max(0L, at));
        size_t toneFrame = static_cast<size_t>(lost);
        size_t matched = 0;
        while ((recFrame + 1) * align <= rec.size() && (toneFrame + 1) * align <= tone.size() &&
               std::equal(tone.begin() + static_cast<long>(toneFrame * align),
                          tone.begin() + static_cast<long>((toneFrame + 1) * align),
                          rec.begin() + static_cast<long>(recFrame * align))) {
            ++matched;
            ++recFrame;
            ++toneFrame;
        }
        return matched + static_cast<size_t>(lost);
    }

    // Frames that may go missing or repeat where a stream starts, pauses or ends:
    // 5 ms, or 20 ms for ALSA through the server's plugin PCM, which knows the
    // server's delay only roughly when it stops and resends the unplayed tail.
    size_t EdgeFrames() const { return m_format.samplesPerSec / (GetParam().backend == "pulse" ? 200 : 50); }

    static testing::TempDir* s_dir;
    static testing::PulseServer* s_server;
    static int s_sinks;
    Mixer m_mixer;
    WaveFormat m_format;
    std::string m_paFormat;
    std::string m_sink;
    std::string m_recording;
    std::unique_ptr<AudioSystem> m_system;
};

testing::TempDir* ServerOutputTest::s_dir = nullptr;
testing::PulseServer* ServerOutputTest::s_server = nullptr;
int ServerOutputTest::s_sinks = 0;

TEST_P(ServerOutputTest, PauseIsSilentAndRestartPlaysOnWithoutLoss)
{
    BufferSet set(Tone(1.2), m_format.avgBytesPerSec / 10);
    DoneLog log;
    std::unique_ptr<WaveOutDevice> device;
    ASSERT_EQ(m_system->Open(0, m_format, log.Callback(), device), kWaveOk);
    ASSERT_TRUE(testing::WriteAll(*device, set));
    ASSERT_TRUE(log.WaitFor(3));
    ASSERT_EQ(device->Pause(), kWaveOk);
    std::this_thread::sleep_for(50ms);
    const uint64_t held = device->PositionSamples();
    const size_t returned = log.Count();
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(device->PositionSamples(), held);
    EXPECT_EQ(log.Count(), returned);
    EXPECT_LT(returned, set.headers.size()) << "buffers return as they play, not as they are copied";
    ASSERT_EQ(device->Restart(), kWaveOk);
    ASSERT_TRUE(log.WaitFor(set.headers.size()));
    EXPECT_EQ(device->Close(), kWaveOk);

    auto rec = StopAndRead(&set.bytes);
    auto found = FindTone(rec, set.bytes);
    ASSERT_TRUE(found);
    const long at = *found;
    const size_t align = m_format.blockAlign;
    const size_t frames = rec.size() / align;
    // The longest silent stretch after the start is the pause.
    size_t gapStart = 0, gapLength = 0;
    for (size_t f = static_cast<size_t>(std::max(0L, at)); f < frames;) {
        size_t run = 0;
        while (f + run < frames && FrameSilent(rec, f + run))
            ++run;
        if (run > gapLength && f + run < frames) {
            gapStart = f;
            gapLength = run;
        }
        f += run + 1;
    }
    EXPECT_GE(gapLength, static_cast<size_t>(m_format.samplesPerSec * 3 / 10));
    const size_t before = static_cast<size_t>(static_cast<long>(gapStart) - at);
    ASSERT_GE(MatchingFrames(rec, set.bytes, at), before);
    // After the pause the tone goes on where it stopped, nothing repeated; the
    // monitor may again miss the first moments (see MatchingFrames).
    const size_t after = gapStart + gapLength;
    const size_t probeAt = after + m_format.samplesPerSec / 20;
    const size_t probe = 200 * align;
    ASSERT_LE(probeAt * align + probe, rec.size());
    auto key = rec.begin() + static_cast<long>(probeAt * align);
    auto hit = std::search(set.bytes.begin(), set.bytes.end(), key, key + static_cast<long>(probe));
    ASSERT_NE(hit, set.bytes.end());
    const long resumedAt = static_cast<long>((hit - set.bytes.begin()) / static_cast<long>(align)) -
                           static_cast<long>(m_format.samplesPerSec / 20);
    // A cork makes the server take back what its sink had mixed ahead (at most
    // the sink's latency; its log says "Rewound N bytes") and mix it again on
    // restart. No listener hears that twice, but the monitor may have passed it
    // on already.
    const long mayRepeat = std::max<long>(static_cast<long>(EdgeFrames()),
                                          m_format.samplesPerSec * testing::PulseServer::kRecorderLatencyMs / 1000);
    EXPECT_GE(resumedAt, static_cast<long>(before) - mayRepeat);
    EXPECT_LE(resumedAt, static_cast<long>(before + m_format.samplesPerSec / 20));
    auto recTail = rec.begin() + static_cast<long>(after * align);
    auto toneTail = set.bytes.begin() + resumedAt * static_cast<long>(align);
    auto ends = std::mismatch(recTail, rec.end(), toneTail, set.bytes.end());
    EXPECT_LE(static_cast<size_t>(set.bytes.end() - ends.second), EdgeFrames() * align);
}

// A volume change while the server holds sound ahead: what it holds is written
// again at the new gain (through ALSA, the PCM's short buffer plays out), so the
// recording turns from the old gain to the new at one frame, with nothing lost
// and at most the sink's mixed-ahead part repeated.
TEST_P(ServerOutputTest, VolumeChangeTakesHoldOfTheSoundAlreadyQueued)
{
    BufferSet set(Tone(2.0), m_format.avgBytesPerSec / 20);
    DoneLog log;
    std::unique_ptr<WaveOutDevice> device;
    ASSERT_EQ(m_system->Open(0, m_format, log.Callback(), device), kWaveOk);
    ASSERT_TRUE(testing::WriteAll(*device, set));
    ASSERT_TRUE(log.WaitFor(set.headers.size() / 2));
    m_mixer.SetVolumeValue(MixerLine::Wave, 32768);
    ASSERT_TRUE(log.WaitFor(set.headers.size()));
    EXPECT_EQ(device->Close(), kWaveOk);
    auto rec = StopAndRead(&set.bytes);
    auto scaled = set.bytes;
    ScaleSamples(scaled.data(), scaled.size(), m_format.bitsPerSample, m_mixer.GainQ16(MixerLine::Wave));
    auto found = FindTone(rec, set.bytes);
    ASSERT_TRUE(found);
    const size_t align = m_format.blockAlign;
    const size_t changed = MatchingFrames(rec, set.bytes, *found);
    EXPECT_GT(changed, set.bytes.size() / align / 2 - EdgeFrames());
    // Where the new gain's sound lies, at most that repeat before the tone frame
    // the recording has reached (the tone itself repeats every half second).
    const long mayRepeat = m_format.samplesPerSec * testing::PulseServer::kRecorderLatencyMs / 1000;
    const long probeAt = *found + static_cast<long>(changed) + mayRepeat;
    const long window = std::max(0L, probeAt - *found - mayRepeat - 1);
    ASSERT_LE(static_cast<size_t>(probeAt + 200) * align, rec.size());
    auto key = rec.begin() + probeAt * static_cast<long>(align);
    auto from = scaled.begin() + window * static_cast<long>(align);
    auto hit = std::search(from, from + (mayRepeat + 202) * static_cast<long>(align), key,
                           key + 200 * static_cast<long>(align));
    ASSERT_NE(hit, from + (mayRepeat + 202) * static_cast<long>(align)) << "the new gain's sound follows on";
    const long repeated = probeAt - *found - (hit - scaled.begin()) / static_cast<long>(align);
    auto recAt = rec.begin() + (*found + static_cast<long>(changed)) * static_cast<long>(align);
    auto toneAt = scaled.begin() + (static_cast<long>(changed) - repeated) * static_cast<long>(align);
    auto ends = std::mismatch(recAt, rec.end(), toneAt, scaled.end());
    EXPECT_LE(static_cast<size_t>(scaled.end() - ends.second), EdgeFrames() * align);
}

TEST_P(ServerOutputTest, ResetReturnsEveryBufferAndSilencesTheRest)
{
    BufferSet set(Tone(2.0), m_format.avgBytesPerSec / 10);
    DoneLog log;
    std::unique_ptr<WaveOutDevice> device;
    ASSERT_EQ(m_system->Open(0, m_format, log.Callback(), device), kWaveOk);
    ASSERT_TRUE(testing::WriteAll(*device, set));
    ASSERT_TRUE(log.WaitFor(3));
    ASSERT_EQ(device->Reset(), kWaveOk);
    ASSERT_EQ(log.Count(), set.headers.size());
    auto returned = log.Headers();
    for (size_t i = 0; i < returned.size(); ++i) {
        EXPECT_EQ(returned[i]->user, static_cast<intptr_t>(i));
        EXPECT_EQ(returned[i]->flags & (kWhdrDone | kWhdrInQueue), kWhdrDone);
    }
    EXPECT_EQ(device->Close(), kWaveOk);

    auto rec = StopAndRead();
    auto found = FindTone(rec, set.bytes);
    ASSERT_TRUE(found);
    const long at = *found;
    const size_t frames = rec.size() / m_format.blockAlign;
    size_t last = frames;
    while (last > 0 && FrameSilent(rec, last - 1))
        --last;
    // 8-bit silence can equal a tone sample, so the match may run one frame on.
    EXPECT_GE(MatchingFrames(rec, set.bytes, at), static_cast<size_t>(static_cast<long>(last) - at));
    size_t played = static_cast<size_t>(static_cast<long>(last) - at);
    EXPECT_GT(played, static_cast<size_t>(m_format.samplesPerSec) / 10);
    EXPECT_LT(played, static_cast<size_t>(m_format.samplesPerSec));
}

INSTANTIATE_TEST_SUITE_P(Backends, ServerOutputTest,
                         ::testing::Values(OutputCase{"pulse", 2, 44100, 16}, OutputCase{"pulse", 1, 22050, 8},
                                           OutputCase{"alsa:pulse", 2, 44100, 16},
                                           OutputCase{"alsa:pulse", 1, 22050, 8}),
                         CaseName);

class ServerLossTest : public ::testing::TestWithParam<std::string> {};

// A server that dies mid-play must not strand the queued buffers: they all come
// back, and the device closes.
TEST_P(ServerLossTest, EveryBufferStillComesBackWhenTheServerDies)
{
    testing::TempDir dir;
    testing::PulseServer server(dir.Path());
    if (!server.Running())
        GTEST_SKIP() << "pulseaudio could not start here";
    ASSERT_TRUE(server.UseSink("lost", "s16le", 22050, 1));
    Mixer mixer;
    auto system = CreateAudioSystem(GetParam(), &mixer);
    ASSERT_TRUE(system);
    const auto format = MakePcmFormat(1, 22050, 16);
    BufferSet set(testing::Tone16(1, 22050, 3.0), 4410);
    DoneLog log;
    std::unique_ptr<WaveOutDevice> device;
    ASSERT_EQ(system->Open(0, format, log.Callback(), device), kWaveOk);
    ASSERT_TRUE(testing::WriteAll(*device, set));
    ASSERT_TRUE(log.WaitFor(2));
    server.Kill();
    ASSERT_TRUE(log.WaitFor(set.headers.size(), 10s));
    auto returned = log.Headers();
    for (size_t i = 0; i < returned.size(); ++i)
        EXPECT_EQ(returned[i]->user, static_cast<intptr_t>(i));
    EXPECT_EQ(device->Close(), kWaveOk);
    // With no server, a new device is refused rather than left hanging.
    std::unique_ptr<WaveOutDevice> again;
    EXPECT_NE(system->Open(0, format, log.Callback(), again), kWaveOk);
}

INSTANTIATE_TEST_SUITE_P(Backends, ServerLossTest, ::testing::Values("pulse", "alsa:pulse"), [](const auto& info) {
    return info.param == "pulse" ? std::string("pulse") : std::string("alsa");
});

} // namespace
} // namespace lumetra::platform::audio
