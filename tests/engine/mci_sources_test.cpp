// The media-control information readers and the CD names, on files made here:
// whole-second lengths, a mixed-mode disc image listing only its audio tracks,
// and names written to and read back from cdplayer.ini.
#include "engine/cd_names.h"
#include "engine/cd_watcher.h"
#include "engine/mci_sources.h"
#include "engine/wave_length.h"
#include "platform/audio/wav_file_writer.h"
#include "platform/audio/wave_out.h"
#ifdef LUMETRA_HAVE_FFMPEG
#include "platform/media/ffmpeg_source.h"
#endif

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace lumetra::engine {
namespace {

namespace fs = std::filesystem;

class MciSourcesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("lumetra-mci-" + std::to_string(::getpid()));
        fs::create_directories(m_dir / "config");
        setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
        m_audio = platform::audio::CreateAudioSystem("null");
        ASSERT_TRUE(m_audio);
        m_mci = std::make_unique<MciSources>(*m_audio);
    }
    void TearDown() override
    {
        m_mci.reset();
        fs::remove_all(m_dir);
    }

    MediaItem Item(const std::string& path)
    {
        MediaItem item{};
        std::snprintf(item.path, sizeof item.path, "%s", path.c_str());
        return item;
    }

    // 16-bit stereo 44100 Hz of the given number of silent frames.
    std::string Wav(const char* name, uint32_t frames)
    {
        std::string path = (m_dir / name).string();
        platform::audio::WavFileWriter writer;
        std::vector<uint8_t> zeros(frames * 4);
        EXPECT_TRUE(writer.Open(path, platform::audio::MakePcmFormat(2, 44100, 16), false));
        EXPECT_TRUE(writer.Append(zeros.data(), zeros.size()));
        return path;
    }

    fs::path m_dir;
    std::unique_ptr<platform::audio::AudioSystem> m_audio;
    std::unique_ptr<MciSources> m_mci;
};

TEST_F(MciSourcesTest, WaveLengthIsWholeSecondsAndDamageLeavesTheItem)
{
    MediaItem item = Item(Wav("long.wav", 44100 * 29 / 10));
    ASSERT_EQ(m_mci->WaveInfo(item), 1);
    EXPECT_EQ(item.totalSamples, 2 * 44100);
    EXPECT_EQ(item.fileSize, 2 * 44100);
    EXPECT_EQ(item.layer, kLayerSampled);
    EXPECT_STREQ(item.performer, "n/a");

    std::string bad = (m_dir / "bad.wav").string();
    std::ofstream(bad) << "RIFF\x10\0\0\0WAVEjunkjunkjunk";
    MediaItem damaged = Item(bad);
    std::string reported;
    m_mci->SetErrorReporter([&](const std::string& text) { reported = text; });
    EXPECT_EQ(m_mci->WaveInfo(damaged), 0);
    EXPECT_EQ(damaged.sampleRate, 0);
    EXPECT_FALSE(reported.empty());

    MediaItem address = Item("http://127.0.0.1:9/x.wma");
    EXPECT_EQ(m_mci->WaveInfo(address), 1);
    EXPECT_EQ(address.totalSamples, 0);
}

#ifdef LUMETRA_HAVE_FFMPEG
// The header reading that spares the library a decoder per WAV must give the
// decoder library's length to the millisecond, and step aside when it cannot.
TEST_F(MciSourcesTest, PcmHeaderLengthIsTheDecoderLibrarys)
{
    const struct {
        const char* sox; // output options and effect
        bool plain;
    } cases[] = {
        {"-r 8000 -c 1 -b 8 %s synth 3.2 sine 300", true},
        {"-r 22050 -c 2 -b 16 --comment hello %s synth 1.9995 sine 300", true},
        {"-r 96000 -c 2 -b 16 %s synth 2.5 sine 300", true},
        {"-r 48000 -c 6 -b 24 %s synth 2 sine 300", false}, // extensible format
        {"-r 44100 -c 2 -b 32 -e floating-point %s synth 1 sine 300", false},
        {"-r 11025 -c 1 -e ima-adpcm %s synth 2 sine 300", false},
    };
    for (const auto& c : cases) {
        std::string path = (m_dir / "t.wav").string();
        std::string command = std::string("sox -n ") + c.sox + " 2>/dev/null";
        ASSERT_EQ(std::system(command.replace(command.find("%s"), 2, path).c_str()), 0);
        std::string error;
        auto source = platform::media::OpenFfmpegSource(path, {}, error);
        ASSERT_TRUE(source) << c.sox << ": " << error;
        std::optional<int64_t> ms = PcmWaveLengthMs(path.c_str());
        ASSERT_EQ(ms.has_value(), c.plain) << c.sox;
        if (ms) {
            EXPECT_EQ(*ms, source->LengthMs()) << c.sox;
        }
        if (c.plain) { // cut short: the data chunk claims more than there is
            fs::resize_file(path, fs::file_size(path) - 100);
            EXPECT_FALSE(PcmWaveLengthMs(path.c_str())) << c.sox;
        }
    }
}
#endif

#ifdef LUMETRA_HAVE_CDIO
TEST_F(MciSourcesTest, MixedModeDiscListsAudioTracksWithTheirNames)
{
    const char* source = std::getenv("LUMETRA_SOURCE_DIR");
    if (!source)
        GTEST_SKIP() << "LUMETRA_SOURCE_DIR names the source tree";
    std::string script = std::string(source) + "/tests/engine/media_files.py";
    std::string folder = (m_dir / "disc").string();
    ASSERT_EQ(std::system(("python3 " + script + " cd-image " + folder + " > /dev/null").c_str()), 0);
    std::string cue = folder + "/disc.cue";

    EXPECT_EQ(ListCdTracks(cue),
              (std::vector<std::string>{cue + "/Track02.cda", cue + "/Track03.cda", cue + "/Track04.cda"}));
    MediaItem item = Item(cue + "/Track03.cda");
    ASSERT_EQ(m_mci->CdTrackInfo(item), 1);
    EXPECT_STREQ(item.title, "Audio CD Track 03");
    EXPECT_EQ(item.totalSamples, 12 * 44100);
    EXPECT_EQ(m_mci->CdTrackCount(), 4);

    // Names saved for the disc are what its tracks show (playing them with names
    // from cdplayer.ini is checked through the player: media_sources_e2e.py).
    CdDiscNames names = LoadCdNames(cue);
    ASSERT_EQ(names.tracks.size(), 4u);
    names.artist = "Someone";
    names.tracks[2] = "Third";
    ASSERT_TRUE(SaveCdNames(names));
    ASSERT_EQ(m_mci->CdTrackInfo(item), 1);
    EXPECT_STREQ(item.title, "Third");
    EXPECT_STREQ(item.performer, "Someone");

    // A second disc differs; a sheet naming a missing data file has no serial.
    std::string other = (m_dir / "other.cue").string();
    std::ofstream(other) << "FILE \"disc/disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    EXPECT_NE(CdDiscSerial(other), 0u);
    EXPECT_NE(CdDiscSerial(other), names.serial);
    std::ofstream(other) << "FILE \"gone.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    EXPECT_EQ(CdDiscSerial(other), 0u);
}
#endif

TEST(CdWatcher, ReportsDiscsArrivingLeavingAndChanging)
{
    // Serials the drive shows at each poll; 0 is no disc.
    struct Case {
        const char* name;
        std::vector<uint32_t> serials;
        std::string expected;
    };
    for (const Case& c : std::vector<Case>{
             {"present from the start", {7, 7, 7}, ""},
             {"inserted", {0, 0, 7, 7}, "+"},
             {"removed and put back", {7, 0, 0, 7}, "-+"},
             {"swapped between polls", {7, 9}, "-+"},
         }) {
        std::size_t poll = 0;
        std::string seen;
        CdWatcher watcher({"/dev/sr9"}, [&](const std::string&) { return c.serials[poll]; });
        watcher.AddArrivalHook([&](const std::string& drive) { seen += drive == "/dev/sr9" ? "+" : "?"; });
        watcher.AddRemovalHook([&](const std::string&) { seen += "-"; });
        for (poll = 0; poll < c.serials.size(); ++poll)
            watcher.Poll();
        EXPECT_EQ(seen, c.expected) << c.name;
    }
}

} // namespace
} // namespace lumetra::engine
