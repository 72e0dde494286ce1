// The engine with the real decoder and the file-fast sound system: a stream file
// whose download has not gone far enough pauses the player, and the paused
// stream goes on without losing a frame once more has arrived.

#include "engine/engine_lock.h"
#include "engine/mpeg_item_adapter.h"
#include "engine_fixture.h"

namespace lumetra::engine::testing {
namespace {

class StreamFileTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (std::system("command -v sox >/dev/null && command -v twolame >/dev/null") != 0)
            GTEST_SKIP() << "sox and twolame are needed";
        m_folder = std::filesystem::temp_directory_path() / ("lumetra-stream-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_folder);
        m_mpeg = (m_folder / "s.mp2").string();
        std::string cmd = "sox -n -r 44100 -c 2 -b 16 " + (m_folder / "s.wav").string() +
                          " synth 4 sine 300-2000 vol 0.5 && twolame --quiet -b 192 " + (m_folder / "s.wav").string() +
                          " " + m_mpeg;
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    void TearDown() override
    {
        EngineTest::TearDown();
        std::filesystem::remove_all(m_folder);
    }

    std::filesystem::path m_folder;
    std::string m_mpeg;
};

TEST_F(StreamFileTest, MarginPausesAndMoreDataResumesWithoutLoss)
{
    std::string out = (m_folder / "out.wav").string();
    auto sound = platform::audio::CreateAudioSystem("file-fast:" + out);
    ASSERT_TRUE(sound);
    Engine engine(EngineDependencies{*sound, DefaultDecoderSource(), mixer, stream, lock});
    engine.SetMainWindow(&window);
    engine.Start();
    engine.Volume().SetStoredVolume(65535);

    int32_t size = static_cast<int32_t>(std::filesystem::file_size(m_mpeg));
    stream.SetDownloading(true);
    stream.SetReceivedBytes(size / 4);
    engine.OpenCurrent(m_mpeg.c_str(), 0);
    {
        std::lock_guard g(lock);
        engine.CurrentItem().streamState = 2;
    }
    engine.PlayCurrent();
    ASSERT_TRUE(WaitFor([&] { return engine.State() == kStatePaused; }));
    {
        std::lock_guard g(lock);
        EXPECT_GE(engine.CurrentItem().streamReadPos, size / 4 - kStreamMarginBytes);
        EXPECT_LT(engine.CurrentItem().streamReadPos, size / 4 - kStreamMarginBytes + 1200);
    }

    stream.SetReceivedBytes(size / 2);
    engine.PlayCurrent();
    ASSERT_TRUE(WaitFor([&] { return engine.State() == kStatePaused; }));
    stream.SetDownloading(false);
    engine.PlayCurrent();
    ASSERT_TRUE(WaitFor([&] { return window.endNotices > 0; }));
    Settle();
    EXPECT_EQ(window.endNotices, 1);
    engine.Shutdown();

    // The same file decoded straight through, within the length estimate.
    MediaItem item = MakeMediaItem();
    std::strcpy(item.path, m_mpeg.c_str());
    ASSERT_EQ(AnalyseMpegItem(item), 1);
    mpeg::DecoderContext context;
    MpegItemDecoder decoder(context);
    decoder.Open(item, 0);
    std::vector<uint8_t> expected(1024, 0);
    std::vector<uint8_t> block(2 * 4608);
    for (int32_t position = 0; position + 1152 <= item.totalSamples; position += 1152) {
        decoder.DecodeNextFrame(block.data());
        expected.insert(expected.end(), block.begin(), block.begin() + 4608);
    }
    decoder.Close();
    std::ifstream in(out, std::ios::binary);
    in.seekg(44);
    EXPECT_TRUE(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}) == expected);
}

} // namespace
} // namespace lumetra::engine::testing
