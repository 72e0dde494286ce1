#include "audio_test_support.h"
#include "platform/audio/wave_file.h"
#include "platform/resources/resources.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace lumetra::platform::audio {
namespace {

// Little builder for hand-made RIFF files.
struct Riff {
    std::vector<uint8_t> bytes;
    Riff()
    {
        static const char kHead[] = "RIFF\0\0\0\0WAVE";
        bytes.assign(kHead, kHead + 12);
    }
    Riff& Chunk(const char* id, std::vector<uint8_t> body, uint32_t declared = 0xFFFFFFFF)
    {
        bytes.insert(bytes.end(), id, id + 4);
        uint32_t size = declared == 0xFFFFFFFF ? static_cast<uint32_t>(body.size()) : declared;
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(size >> (8 * i)));
        bytes.insert(bytes.end(), body.begin(), body.end());
        if (body.size() & 1)
            bytes.push_back(0);
        return *this;
    }
};

std::vector<uint8_t> Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, size_t extra = 0)
{
    WaveFormat f = MakePcmFormat(channels, static_cast<int>(rate), bits);
    std::vector<uint8_t> b;
    auto put = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    put(tag, 2);
    put(channels, 2);
    put(rate, 4);
    put(f.avgBytesPerSec, 4);
    put(f.blockAlign, 2);
    put(bits, 2);
    if (extra > 0) {
        put(static_cast<uint32_t>(extra - 2), 2);
        for (size_t i = 2; i < extra; ++i)
            b.push_back(i == 8 ? 1 : 0); // sub-format GUID starts at byte 8 of the extension: PCM
    }
    return b;
}

struct ParseCase {
    std::string name;
    std::vector<uint8_t> file;
    bool ok;
    size_t samples;
};

class ParseWaveTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseWaveTest, AcceptsPlayablePcmAndRefusesTheRest)
{
    const ParseCase& c = GetParam();
    WaveParseResult r = ParseWave(c.file);
    EXPECT_EQ(r.ok, c.ok) << r.error;
    if (r.ok) {
        EXPECT_EQ(r.image.samples.size(), c.samples);
    } else {
        EXPECT_FALSE(r.error.empty());
    }
}

std::vector<ParseCase> Cases()
{
    std::vector<uint8_t> odd(7, 0x80);
    return {
        {"plain8", Riff().Chunk("fmt ", Fmt(1, 1, 22050, 8)).Chunk("data", std::vector<uint8_t>(100, 128)).bytes, true,
         100},
        {"list_and_odd_padding", Riff().Chunk("fmt ", Fmt(1, 1, 8000, 8)).Chunk("LIST", odd).Chunk("data", odd).bytes,
         true, 7},
        {"extensible16",
         Riff().Chunk("fmt ", Fmt(0xFFFE, 2, 44100, 16, 24)).Chunk("data", std::vector<uint8_t>(16)).bytes, true, 16},
        {"truncated_data_cut_to_frames",
         Riff().Chunk("fmt ", Fmt(1, 2, 44100, 16)).Chunk("data", std::vector<uint8_t>(10), 4000).bytes, true, 8},
        {"float", Riff().Chunk("fmt ", Fmt(3, 1, 44100, 16)).Chunk("data", std::vector<uint8_t>(8)).bytes, false, 0},
        {"bits24", Riff().Chunk("fmt ", Fmt(1, 1, 44100, 24)).Chunk("data", std::vector<uint8_t>(9)).bytes, false, 0},
        {"rate96k", Riff().Chunk("fmt ", Fmt(1, 1, 96000, 16)).Chunk("data", std::vector<uint8_t>(8)).bytes, false, 0},
        {"data_first", Riff().Chunk("data", std::vector<uint8_t>(8)).Chunk("fmt ", Fmt(1, 1, 8000, 8)).bytes, false, 0},
        {"no_data", Riff().Chunk("fmt ", Fmt(1, 1, 8000, 8)).bytes, false, 0},
        {"short_fmt", Riff().Chunk("fmt ", std::vector<uint8_t>(10)).bytes, false, 0},
        {"huge_chunk", Riff().Chunk("JUNK", {}, 0xFFFFFFF0).bytes, false, 0},
        {"not_riff", std::vector<uint8_t>{'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, false, 0},
        {"empty", {}, false, 0},
    };
}

INSTANTIATE_TEST_SUITE_P(Files, ParseWaveTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

// (What the file backends write reads back as the same samples: the sound player
// tests play files made by the writer.)
// sox as the reference writer: its 8-bit mono file must give the samples it
// writes as raw bytes.
TEST(WaveFileRoundTrip, SoxFilesGiveSoxSamples)
{
    if (std::system("sox --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "sox is not installed";
    testing::TempDir dir;
    const std::string wav = dir.File("s.wav");
    const std::string raw = dir.File("s.raw");
    ASSERT_EQ(std::system(("sox -n -r 22050 -c 1 -b 8 -e unsigned-integer " + wav +
                           " synth 0.2 sine 500 vol 0.7 && sox " + wav + " -t raw " + raw)
                              .c_str()),
              0);
    auto file = testing::ReadFile(wav);
    auto expected = testing::ReadFile(raw);
    WaveParseResult r = ParseWave(file);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.image.format.bitsPerSample, 8);
    EXPECT_EQ(r.image.format.samplesPerSec, 22050u);
    EXPECT_TRUE(std::equal(r.image.samples.begin(), r.image.samples.end(), expected.begin(), expected.end()));
}

TEST(WaveFileResources, EmbeddedSoundsArePlayableAndUnknownNamesAreNotFound)
{
    EXPECT_FALSE(FindResource("textfile", "no such table"));
    EXPECT_EQ(OpenResourceStream("wave", "no such sound"), nullptr);
    auto idle = FindResource("wave", "IDLE");
    if (!idle)
        GTEST_SKIP() << "no IDLE sound embedded";
    WaveParseResult r = ParseWave(*idle);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(r.image.samples.empty());
}

} // namespace
} // namespace lumetra::platform::audio
