#include "engine/mpeg_item_adapter.h"
#include "mpeg/stream_info.h"
#include "stream_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace lumetra::mpeg {
namespace {

// The decoder is tested through the item, as the engine drives it.
using engine::AnalyseMpegItem;
using engine::ReadFileSizeAndId3v1;
using test::Append;
using test::FrameShape;
using test::SilentFrame;
using namespace std::string_literals;

std::vector<uint8_t> Bytes(const std::string& s)
{
    return {s.begin(), s.end()};
}

std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    Append(a, b);
    return a;
}

std::vector<uint8_t> Id3v1(const std::string& title, const std::string& artist, const std::string& album,
                           const std::string& comment, char pad = ' ')
{
    std::string tag = "TAG";
    for (const std::string* field : {&title, &artist, &album})
        tag += (*field + std::string(30, pad)).substr(0, 30);
    tag += std::string(4, '\0') + (comment + std::string(30, pad)).substr(0, 30);
    tag.resize(128, '\0');
    return Bytes(tag);
}

// A text frame of a v2.3 (4-letter id, 4 size bytes, 2 flag bytes) or v2.2 tag.
std::vector<uint8_t> TextFrame(const std::string& id, const std::string& text)
{
    const uint32_t size = static_cast<uint32_t>(text.size() + 1);
    std::string f = id;
    for (int shift = id.size() == 4 ? 24 : 16; shift >= 0; shift -= 8)
        f += static_cast<char>(size >> shift);
    f += std::string(id.size() == 4 ? 3 : 1, '\0') + text;
    return Bytes(f);
}

std::vector<uint8_t> Tagged(int major, const std::vector<uint8_t>& frames, std::size_t padding = 20)
{
    std::vector<uint8_t> bytes = test::Id3v2Header(major, static_cast<uint32_t>(frames.size() + padding));
    Append(bytes, frames);
    bytes.resize(bytes.size() + padding, 0);
    return bytes;
}

std::vector<uint8_t> Audio(int frames = 4)
{
    std::vector<uint8_t> bytes;
    for (int i = 0; i < frames; ++i)
        Append(bytes, SilentFrame(FrameShape{}));
    return bytes;
}

class StreamInfoTest : public ::testing::Test {
protected:
    MediaItem Analyse(const std::vector<uint8_t>& bytes, int expect = 1)
    {
        MediaItem item = MakeMediaItem();
        std::strcpy(item.path, m_dir.Write("a.mp3", bytes).c_str());
        EXPECT_EQ(AnalyseMpegItem(item), expect);
        return item;
    }
    test::TempDir m_dir;
};

TEST_F(StreamInfoTest, FillsTheStreamFieldsFromTheFirstHeader)
{
    const auto bytes = Audio();
    MediaItem item = Analyse(bytes);
    EXPECT_EQ(item.version, 1);
    EXPECT_EQ(item.layer, 2);
    EXPECT_EQ(item.bitrate, 256);
    EXPECT_EQ(item.sampleRate, 48000);
    EXPECT_EQ(item.channels, 2);
    EXPECT_EQ(item.samplesPerFrame, 1152);
    EXPECT_EQ(item.blockFactor, 8);
    EXPECT_EQ(item.fileSize, static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(item.totalSamples, static_cast<int32_t>(bytes.size() * 48000.0 / 32000));

    // Layer III at 128 kbit/s and 44.1 kHz: the length follows from the first bit rate.
    std::vector<uint8_t> layer3 = Bytes("\xFF\xFB\x90\x00"s);
    layer3.resize(3000000, 0);
    item = Analyse(layer3);
    EXPECT_EQ(item.layer, 3);
    EXPECT_EQ(item.totalSamples, 8268750);
    EXPECT_EQ(item.samplesPerFrame, 1152);

    std::vector<uint8_t> reservedRate = Bytes("\xFF\xFD\x9C\x00"s); // layer II, sampling index 3
    reservedRate.resize(2000, 0);
    item = Analyse(reservedRate);
    EXPECT_EQ(item.layer, -1);
    EXPECT_STREQ(item.title, "Format not supported.");
}

struct V1Case {
    std::string title, artist, album, comment;
    char pad;
    std::string wantTitle, wantArtist, wantLink;
};

class Id3v1Test : public StreamInfoTest, public ::testing::WithParamInterface<V1Case> {};

TEST_P(Id3v1Test, ReadsTitleArtistAndLink)
{
    const V1Case& c = GetParam();
    MediaItem item = Analyse(Cat(Audio(), Id3v1(c.title, c.artist, c.album, c.comment, c.pad)));
    EXPECT_EQ(std::string(item.title), c.wantTitle);
    EXPECT_EQ(std::string(item.performer), c.wantArtist);
    EXPECT_EQ(std::string(item.webLink), c.wantLink);
}

const std::string kUrl = "http://album.example";
INSTANTIATE_TEST_SUITE_P(
    Cases, Id3v1Test,
    ::testing::Values(V1Case{"Song", "Band", "", "", ' ', "Song", "Band" + std::string(26, ' '), ""},
                      V1Case{"Song", "Band", "", "", '\0', "Song", "Band", ""},
                      V1Case{"Title with a blank ", "A", kUrl, "", '\0', "Title with a blank ", "A", kUrl},
                      V1Case{"T", "A", kUrl, "www.comment.example", '\0', "T", "A", "www.comment.example"},
                      V1Case{"T", "A", "no link", "ftp://x", '\0', "T", "A", ""},
                      V1Case{std::string(30, 'x'), "A", "", "", ' ', std::string(30, 'x'), "A" + std::string(29, ' '),
                             ""}));

TEST_F(StreamInfoTest, FileOf1024BytesIsNotSearchedForId3v1)
{
    std::vector<uint8_t> bytes = Audio(1);
    bytes.resize(1024 - 128, 0);
    Append(bytes, Id3v1("Song", "Band", "", ""));
    MediaItem item = MakeMediaItem();
    std::strcpy(item.title, "before");
    std::strcpy(item.path, m_dir.Write("a.mp3", bytes).c_str());
    EXPECT_EQ(ReadFileSizeAndId3v1(item), 1);
    EXPECT_STREQ(item.title, "before");
    bytes.push_back(0);
    std::strcpy(item.path, m_dir.Write("b.mp3", bytes).c_str());
    EXPECT_EQ(ReadFileSizeAndId3v1(item), 1);
    EXPECT_STREQ(item.title, ""); // no "TAG" in the last 128 bytes now
}

struct V2Case {
    const char* name;
    std::vector<uint8_t> tag;
    std::string title, performer;
};

class TaggedStream : public StreamInfoTest, public ::testing::WithParamInterface<V2Case> {};

// The tag's texts are read and the tag is skipped to the first frame, whatever
// its version and length; damaged frames only lose their texts.
TEST_P(TaggedStream, ReadsTheTextsAndFindsTheAudio)
{
    MediaItem item = Analyse(Cat(GetParam().tag, Audio()));
    EXPECT_EQ(std::string(item.title), GetParam().title);
    EXPECT_EQ(std::string(item.performer), GetParam().performer);
    EXPECT_EQ(item.layer, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, TaggedStream,
    ::testing::Values(V2Case{"v23",
                             Tagged(3, Cat(Cat(TextFrame("TALB", "Album"), TextFrame("TIT2", "Title 2.3")),
                                           TextFrame("TPE1", "Artist 2.3"))),
                             "Title 2.3", "Artist 2.3"},
                      V2Case{"v22", Tagged(2, Cat(TextFrame("TP1", "Artist 2.2"), TextFrame("TT2", "Title 2.2"))),
                             "Title 2.2", "Artist 2.2"},
                      V2Case{"v24_long_padding", Tagged(4, TextFrame("TIT2", "Four"), 3000), "Four", ""},
                      // A frame whose size points far beyond the tag, and one of size 0.
                      V2Case{"damaged", Tagged(3, Bytes("TIT2\0\0\0\0\0\0TPE1\x7F\xFF\xFF\xFF\0\0\0x"s)), "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StreamInfoTest, FirstFrameMustStartWithinTheMarginAndAudioMustExist)
{
    EXPECT_EQ(Analyse(Cat(std::vector<uint8_t>(2000, 0), Audio())).layer, 2);
    EXPECT_EQ(Analyse(Cat(std::vector<uint8_t>(2100, 0), Audio()), 0).layer, -1);
    Analyse(Tagged(3, TextFrame("TIT2", "Only a tag")), 0);
    MediaItem item = MakeMediaItem();
    std::strcpy(item.path, "/nonexistent/file.mp3");
    EXPECT_EQ(AnalyseMpegItem(item), 0);
    EXPECT_EQ(item.layer, -1);
    EXPECT_EQ(ReadFileSizeAndId3v1(item), 0);
}

} // namespace
} // namespace lumetra::mpeg
