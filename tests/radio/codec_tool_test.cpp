// lumetra-radio-codec on files: a sox-made WAV through encode and decode, the WAV
// it writes read back by sox, and bad input answered with an error, not a crash.

#include "radio/codec/wavelet_decoder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class CodecTool : public testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("codec_tool_" + std::to_string(getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    int Run(const std::string& args)
    {
        const std::string cmd =
            "cd '" + m_dir.string() + "' && " LUMETRA_CODEC_BINARY " " + args + " >out.txt 2>err.txt";
        const int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::vector<uint8_t> Read(const std::string& name)
    {
        std::ifstream in(m_dir / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    fs::path m_dir;
};

TEST_F(CodecTool, EncodesAFrameThatDecodesLikeTheLibraryAndNearTheSource)
{
    ASSERT_EQ(std::system(("cd '" + m_dir.string() +
                           "' && sox -R -n -r 8000 -b 16 -c 1 in.wav synth 1 "
                           "sine 300 sine 1250 remix - gain -3 && sox in.wav -t raw -e signed -b 16 in.raw")
                              .c_str()),
              0);
    ASSERT_EQ(Run("encode in.wav frame.bin --bytes 600 --offset 1000"), 0);
    const auto payload = Read("frame.bin");
    ASSERT_GE(payload.size(), 5u);
    EXPECT_LE(payload.size(), 600u);

    ASSERT_EQ(Run("decode frame.bin out.raw"), 0);
    const auto samples = Read("out.raw");
    ASSERT_EQ(samples.size(), 2048u);
    std::array<uint8_t, 2048> direct{};
    lumetra::radio::DecodeFrame(payload, false, 2, direct);
    EXPECT_TRUE(std::equal(direct.begin(), direct.end(), samples.begin()));
    // ... and near the source from the offset on: 13.8 dB measured.
    const auto raw = Read("in.raw");
    double signal = 0, noise = 0;
    for (std::size_t k = 0; k < 2048; ++k) {
        const double x = static_cast<int16_t>(raw[2 * (1000 + k)] | raw[2 * (1000 + k) + 1] << 8) / 256.0;
        signal += x * x;
        noise += (x - (samples[k] - 128)) * (x - (samples[k] - 128));
    }
    EXPECT_GT(signal, 11.0 * noise); // above 10.4 dB

    // The filtered decode goes to a WAV that sox reads back at the given rate.
    ASSERT_EQ(Run("decode frame.bin out.wav --filter --threshold 4 --rate 16000"), 0);
    ASSERT_EQ(std::system(("cd '" + m_dir.string() +
                           "' && test \"$(soxi -r out.wav)\" = 16000 && "
                           "test \"$(soxi -s out.wav)\" = 2048")
                              .c_str()),
              0);
}

TEST_F(CodecTool, BadInputGetsAnErrorOrTheDocumentedSilence)
{
    std::ofstream(m_dir / "junk.wav") << "not a wave file at all";
    EXPECT_EQ(Run("encode junk.wav x.bin"), 1);
    EXPECT_EQ(Run("encode missing.wav x.bin"), 1);
    EXPECT_EQ(Run("encode junk.wav x.bin --bytes"), 2);
    EXPECT_EQ(Run("frobnicate a b"), 2);
    std::ofstream(m_dir / "short.bin") << "ab";
    ASSERT_EQ(Run("decode short.bin s.raw"), 0);
    const auto s = Read("s.raw");
    ASSERT_EQ(s.size(), 2048u);
    EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](uint8_t v) { return v == 128; }));
}

} // namespace
