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
using test::FrameSpec;
using test::SilentFrame;
using test::TempDir;

std::vector<uint8_t> Id3v1(const std::string& title, const std::string& artist, const std::string& album,
                           const std::string& comment, char pad = ' ')
{
    std::vector<uint8_t> tag(128, 0);
    std::memcpy(tag.data(), "TAG", 3);
    auto field = [&](std::size_t at, const std::string& text) {
        for (std::size_t i = 0; i < 30; ++i)
            tag[at + i] = static_cast<uint8_t>(i < text.size() ? text[i] : pad);
    };
    field(3, title);
    field(33, artist);
    field(63, album);
    field(97, comment);
    return tag;
}

std::vector<uint8_t> V23Frame(const char* id, const std::string& text)
{
    const uint32_t size = static_cast<uint32_t>(text.size() + 1);
    std::vector<uint8_t> f = {static_cast<uint8_t>(id[0]),
                              static_cast<uint8_t>(id[1]),
                              static_cast<uint8_t>(id[2]),
                              static_cast<uint8_t>(id[3]),
                              static_cast<uint8_t>(size >> 24),
                              static_cast<uint8_t>(size >> 16),
                              static_cast<uint8_t>(size >> 8),
                              static_cast<uint8_t>(size),
                              0,
                              0,
                              0};
    f.insert(f.end(), text.begin(), text.end());
    return f;
}

std::vector<uint8_t> V22Frame(const char* id, const std::string& text)
{
    const uint32_t size = static_cast<uint32_t>(text.size() + 1);
    std::vector<uint8_t> f = {static_cast<uint8_t>(id[0]),
                              static_cast<uint8_t>(id[1]),
                              static_cast<uint8_t>(id[2]),
                              static_cast<uint8_t>(size >> 16),
                              static_cast<uint8_t>(size >> 8),
                              static_cast<uint8_t>(size),
                              0};
    f.insert(f.end(), text.begin(), text.end());
    return f;
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
        Append(bytes, SilentFrame(FrameSpec{}));
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
    TempDir m_dir;
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
}

TEST_F(StreamInfoTest, LengthEstimateUsesTheFirstBitrate)
{
    // A layer III header at 128 kbit/s, 44.1 kHz, then 3,000,000 bytes in all.
    std::vector<uint8_t> bytes(3000000, 0);
    const uint8_t header[] = {0xFF, 0xFB, 0x90, 0x00};
    std::memcpy(bytes.data(), header, 4);
    MediaItem item = Analyse(bytes);
    EXPECT_EQ(item.layer, 3);
    EXPECT_EQ(item.totalSamples, 8268750);
    EXPECT_EQ(item.samplesPerFrame, 1152);
}

TEST_F(StreamInfoTest, ReservedSampleRateIsNotSupported)
{
    std::vector<uint8_t> bytes(2000, 0);
    const uint8_t header[] = {0xFF, 0xFD, 0x9C, 0x00}; // layer II, sampling index 3
    std::memcpy(bytes.data(), header, 4);
    MediaItem item = Analyse(bytes);
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
    auto bytes = Audio();
    Append(bytes, Id3v1(c.title, c.artist, c.album, c.comment, c.pad));
    MediaItem item = Analyse(bytes);
    EXPECT_EQ(std::string(item.title), c.wantTitle);
    EXPECT_EQ(std::string(item.performer), c.wantArtist);
    EXPECT_EQ(std::string(item.webLink), c.wantLink);
}

INSTANTIATE_TEST_SUITE_P(Cases, Id3v1Test,
                         ::testing::Values(V1Case{"Song", "Band", "", "", ' ', "Song",
                                                  std::string("Band") + std::string(26, ' '), ""},
                                           V1Case{"Song", "Band", "", "", '\0', "Song", "Band", ""},
                                           V1Case{"Title with a blank ", "A", "http://album.example", "", '\0',
                                                  "Title with a blank ", "A", "http://album.example"},
                                           V1Case{"T", "A", "http://album.example", "www.comment.example", '\0', "T",
                                                  "A", "www.comment.example"},
                                           V1Case{"T", "A", "no link", "ftp://x", '\0', "T", "A", ""},
                                           V1Case{std::string(30, 'x'), "A", "", "", ' ', std::string(30, 'x'),
                                                  std::string("A") + std::string(29, ' '), ""}));

TEST_F(StreamInfoTest, FileOf1024BytesIsNotSearchedForId3v1)
{
    std::vector<uint8_t> bytes = Audio(1);
    bytes.resize(1024 - 128, 0);
    Append(bytes, Id3v1("Song", "Band", "", ""));
    ASSERT_EQ(bytes.size(), 1024u);
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

std::string Letters(std::size_t n)
{
    std::string text;
    for (std::size_t i = 0; i < n; ++i)
        text += static_cast<char>('a' + i % 26);
    return text;
}

std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    Append(a, b);
    return a;
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
    auto bytes = GetParam().tag;
    Append(bytes, Audio());
    MediaItem item = Analyse(bytes);
    EXPECT_EQ(std::string(item.title), GetParam().title);
    EXPECT_EQ(std::string(item.performer), GetParam().performer);
    EXPECT_EQ(item.layer, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, TaggedStream,
    ::testing::Values(V2Case{"v23",
                             Tagged(3, Cat(Cat(V23Frame("TALB", "Album"), V23Frame("TIT2", "Title 2.3")),
                                           V23Frame("TPE1", "Artist 2.3"))),
                             "Title 2.3", "Artist 2.3"},
                      V2Case{"v22", Tagged(2, Cat(V22Frame("TP1", "Artist 2.2"), V22Frame("TT2", "Title 2.2"))),
                             "Title 2.2", "Artist 2.2"},
                      V2Case{"long_text_cut_to_127",
                             Tagged(3, Cat(V23Frame("TIT2", Letters(300)), V23Frame("TPE1", "After"))), Letters(127),
                             "After"},
                      V2Case{"v24_long_padding", Tagged(4, V23Frame("TIT2", "Four"), 3000), "Four", ""},
                      // A frame whose size points far beyond the tag, and one of size 0.
                      V2Case{"damaged", Tagged(3, {'T', 'I', 'T', '2',  0,    0,    0,    0, 0, 0, 'T',
                                                   'P', 'E', '1', 0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 'x'}),
                             "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StreamInfoTest, FirstFrameMustStartWithinTheMargin)
{
    std::vector<uint8_t> near(2000, 0);
    Append(near, Audio());
    EXPECT_EQ(Analyse(near).layer, 2);
    std::vector<uint8_t> far(2100, 0);
    Append(far, Audio());
    EXPECT_EQ(Analyse(far, 0).layer, -1);
}

TEST_F(StreamInfoTest, TagOnlyAndMissingFilesFail)
{
    Analyse(Tagged(3, V23Frame("TIT2", "Only a tag")), 0);
    MediaItem item = MakeMediaItem();
    std::strcpy(item.path, "/nonexistent/file.mp3");
    EXPECT_EQ(AnalyseMpegItem(item), 0);
    EXPECT_EQ(item.layer, -1);
    EXPECT_EQ(ReadFileSizeAndId3v1(item), 0);
}

} // namespace
} // namespace lumetra::mpeg
