#include "engine/media_item_text.h"
#include "engine/media_type_detection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace lumetra::engine {
namespace {

using Bytes = std::string;

Bytes Riff(const char* kind, std::size_t size, unsigned char byte20)
{
    Bytes b(size, '\0');
    std::memcpy(b.data(), "RIFF", 4);
    std::memcpy(b.data() + 8, kind, 4);
    b[20] = static_cast<char>(byte20);
    return b;
}

Bytes WithAt(Bytes b, std::size_t offset, const Bytes& what)
{
    b.replace(offset, what.size(), what);
    return b;
}

// "QRZ " and records of a 2-byte big-endian length, the last one claiming
// `claimLast` bytes while `haveLast` follow it.
Bytes Station(std::size_t records, std::size_t length, std::size_t claimLast, std::size_t haveLast)
{
    Bytes b = "QRZ ";
    for (std::size_t i = 0; i < records; ++i) {
        bool last = i + 1 == records;
        std::size_t claim = last ? claimLast : length;
        b += static_cast<char>(claim >> 8);
        b += static_cast<char>(claim & 0xFF);
        b += Bytes(last ? haveLast : length, 'x');
    }
    return b;
}

struct DetectCase {
    const char* name;
    const char* fileName; // created in a scratch folder; empty: path used as given
    Bytes content;
    MediaType expected;
};

class DetectTest : public ::testing::TestWithParam<DetectCase> {};

TEST_P(DetectTest, ClassifiesByTheFirstMatchingRule)
{
    const DetectCase& c = GetParam();
    std::string path = c.fileName;
    if (!c.content.empty() || path.find('/') == std::string::npos) {
        auto dir = std::filesystem::temp_directory_path() / ("lumetra-detect-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        path = (dir / c.fileName).string();
        std::ofstream(path, std::ios::binary) << c.content;
    }
    EXPECT_EQ(DetectMediaType(path.c_str()), c.expected);
}

const Bytes kSync = "\xFF\xFB";

INSTANTIATE_TEST_SUITE_P(
    Rules, DetectTest,
    ::testing::Values(
        DetectCase{"wave_44_bytes", "a.wav", Riff("WAVE", 44, 1), MEDIA_WAVE},
        DetectCase{"wave_43_bytes_too_short", "a.wav", Riff("WAVE", 43, 1), MEDIA_NONE},
        DetectCase{"wave_wrapped_mp3", "a.wav", WithAt(Riff("WAVE", 2000, 0x55), 300, kSync), MEDIA_MPEG},
        DetectCase{"wave_wrapped_mp3_small", "a.wav", WithAt(Riff("WAVE", 900, 0x55), 300, kSync), MEDIA_NONE},
        DetectCase{"wma_name_wave_header", "song.wma", Riff("WAVE", 100, 1), MEDIA_WAVE},
        DetectCase{"wma_name_any_content", "song.WMA", Bytes(100, 'z'), MEDIA_ASF},
        DetectCase{"asf_name_beats_sync", "x.asf", WithAt(Bytes(3000, 0), 0, kSync), MEDIA_ASF},
        DetectCase{"sync_in_first_kilobyte", "a.mp3", WithAt(Bytes(2000, 0), 700, kSync), MEDIA_MPEG},
        DetectCase{"id3_tag", "a.mp3", WithAt(Bytes(2000, 0), 0, "ID3"), MEDIA_MPEG},
        DetectCase{"sync_at_last_scanned_byte", "a.mp3", WithAt(Bytes(2000, 0), 1021, "\xFF\xF0"), MEDIA_MPEG},
        DetectCase{"sync_past_scan", "a.mp3", WithAt(Bytes(2000, 0), 1022, "\xFF\xF0"), MEDIA_NONE},
        DetectCase{"id3_past_scan", "a.mp3", WithAt(Bytes(2000, 0), 1022, "ID3"), MEDIA_NONE},
        DetectCase{"low_nibble_not_sync", "a.mp3", WithAt(Bytes(2000, 0), 10, "\xFF\xE0"), MEDIA_NONE},
        DetectCase{"small_mpeg", "a.mp3", WithAt(Bytes(900, 0), 0, kSync), MEDIA_NONE},
        DetectCase{"exactly_1024_mpeg", "a.mp3", WithAt(Bytes(1024, 0), 0, kSync), MEDIA_NONE},
        DetectCase{"station_records_fill_file", "s.rdl", Station(3, 20, 24, 20), MEDIA_STATION},
        DetectCase{"station_records_one_short", "s.rdl", Station(3, 20, 23, 20), MEDIA_NONE},
        DetectCase{"station_large", "s.rdl", Station(40, 60, 64, 60), MEDIA_STATION},
        DetectCase{"station_no_magic", "s.rdl", WithAt(Station(3, 20, 24, 20), 0, "QRZX"), MEDIA_NONE},
        DetectCase{"cdda", "Track01.cda", Riff("CDDA", 44, 0), MEDIA_CDTRACK},
        DetectCase{"rmid", "a.rmi", Riff("RMID", 100, 0), MEDIA_MIDI},
        DetectCase{"smf", "a.mid", WithAt(Bytes(100, 0), 0, "MThd"), MEDIA_MIDI},
        DetectCase{"midi_with_sync_is_mpeg", "a.mid", WithAt(WithAt(Bytes(2000, 0), 0, "MThd"), 40, "\xFF\xF7"),
                   MEDIA_MPEG},
        DetectCase{"random_text", "a.txt", Bytes(5000, 'a'), MEDIA_NONE},
        DetectCase{"missing_file", "/nonexistent/dir/a.mp3", Bytes(), MEDIA_NONE},
        DetectCase{"missing_wma_without_scheme", "/nonexistent/dir/a.WMA", Bytes(), MEDIA_NONE},
        DetectCase{"asf_address", "http://127.0.0.1:8000/live.asf", Bytes(), MEDIA_ASF},
        DetectCase{"directory", "/tmp", Bytes(), MEDIA_NONE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AsfNames, NeedMoreThanTheExtension)
{
    EXPECT_FALSE(IsAsfName(".wma"));
    EXPECT_FALSE(IsAsfName("wma"));
    EXPECT_TRUE(IsAsfName("a.wMa"));
    EXPECT_FALSE(IsAsfName("a.wmv"));
    EXPECT_FALSE(IsAsfAddress("/music/a.asf"));
    EXPECT_TRUE(IsAsfAddress("mms://127.0.0.1/a.ASF"));
}

TEST(CdTrackPaths, CountOnlyWhileTheTrayIsClosed)
{
    ::setenv("LUMETRA_CDROM", "/images/disc.cue:/images/other.cue", 1);
    EXPECT_EQ(DetectMediaType("/images/other.cue/Track03.cda"), MEDIA_CDTRACK);
    EXPECT_EQ(DetectMediaType("/images/none.cue/Track03.cda"), MEDIA_NONE);
    SetCdTrayOpenFlag(1);
    EXPECT_EQ(DetectMediaType("/images/disc.cue/Track01.cda"), MEDIA_NONE);
    SetCdTrayOpenFlag(0);
    EXPECT_EQ(DetectMediaType("/images/disc.cue/Track01.cda"), MEDIA_CDTRACK);
    ::unsetenv("LUMETRA_CDROM");
}

TEST(ItemText, DisplayNameAndSeconds)
{
    MediaItem item = MakeMediaItem();
    EXPECT_EQ(ItemDisplayName(item, "/music/a b.mp3"), "a b.mp3");
    EXPECT_EQ(ItemDisplayName(item, "C:\\music\\x.mp3"), "x.mp3");
    EXPECT_EQ(ItemDisplayName(item, "dir\\sub/x.mp3"), "sub/x.mp3");
    EXPECT_EQ(ItemDisplayName(item, "plain"), "--");
    std::strcpy(item.title, "Song");
    EXPECT_EQ(ItemDisplayName(item, "/music/a.mp3"), "Song");

    EXPECT_EQ(ItemSeconds(item), 0);
    item.totalSamples = 44100 * 61 + 5;
    item.sampleRate = 44100;
    EXPECT_EQ(ItemSeconds(item), 61);
    item.durationSeconds = 7;
    EXPECT_EQ(ItemSeconds(item), 7);
}

} // namespace
} // namespace lumetra::engine
