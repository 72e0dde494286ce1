// Parsers of what surrounds the sound: ID3v2 texts, tags at the end, VBR
// header frames and free-format frame lengths, on hand-made and forged bytes.
#include "mpeg/end_tags.h"
#include "mpeg/free_format.h"
#include "mpeg/id3v2_text.h"
#include "mpeg/vbr_header.h"
#include "stream_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace lumetra::mpeg {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes B(std::initializer_list<int> v)
{
    Bytes b;
    for (int x : v)
        b.push_back(static_cast<uint8_t>(x));
    return b;
}

Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Str(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

TagReader Over(const Bytes& b)
{
    return [&b](int64_t at, uint8_t* buf, std::size_t len) -> std::size_t {
        if (at < 0 || at >= static_cast<int64_t>(b.size()))
            return 0;
        const std::size_t n = std::min(len, b.size() - static_cast<std::size_t>(at));
        std::memcpy(buf, b.data() + at, n);
        return n;
    };
}

struct TextCase {
    Bytes body;
    std::size_t cap;
    std::string want;
};

class Id3TextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(Id3TextTest, DecodesToUtf8)
{
    char out[128];
    DecodeId3Text(GetParam().body, out, GetParam().cap);
    EXPECT_EQ(std::string(out), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, Id3TextTest,
    ::testing::Values(TextCase{B({0, 'C', 0xE9, 0x93, 0x81, 0, 'x'}), 128, "C\xC3\xA9\xE2\x80\x9C\x81"}, // Windows-1252
                      TextCase{B({1, 0xFF, 0xFE, 'C', 0, 0xE9, 0}), 128, "C\xC3\xA9"}, // UTF-16LE, BOM
                      TextCase{B({1, 0xFE, 0xFF, 0, 'C', 0xD8, 0x3D, 0xDE, 0}), 128, "C\xF0\x9F\x98\x80"},
                      TextCase{B({1, 0, 'C', 0, 'D', 0}), 128, "CD"},    // no BOM, odd length
                      TextCase{B({2, 0xD8, 0x3D}), 128, "\xEF\xBF\xBD"}, // lone surrogate
                      TextCase{B({3, 'a', 0xC3, 0xA9, 0xC3, 'b'}), 128,
                               "a\xC3\xA9\xEF\xBF\xBD"
                               "b"},
                      TextCase{B({0, 'a', 'b', 0xE9}), 4, "ab"}, // no half characters
                      TextCase{B({}), 128, ""}));

// A v2.4 frame; sizes syncsafe unless plain.
Bytes Frame24(const char* id, const Bytes& data, int flags = 0, bool plain = false)
{
    const auto n = static_cast<uint32_t>(data.size());
    Bytes f = Str(id);
    if (plain)
        f = Cat(f, B({int(n >> 24), int(n >> 16 & 0xFF), int(n >> 8 & 0xFF), int(n & 0xFF)}));
    else
        f = Cat(f, B({int(n >> 21 & 0x7F), int(n >> 14 & 0x7F), int(n >> 7 & 0x7F), int(n & 0x7F)}));
    return Cat(Cat(f, B({0, flags})), data);
}

Bytes Tag(int major, int flags, const Bytes& body)
{
    Bytes h = test::Id3v2Header(major, static_cast<uint32_t>(body.size()));
    h[5] = static_cast<uint8_t>(flags);
    return Cat(h, body);
}

struct TagCase {
    const char* name;
    Bytes tag;
    std::string title, performer;
};

class Id3v2Test : public ::testing::TestWithParam<TagCase> {};

TEST_P(Id3v2Test, FindsTitleAndArtist)
{
    const Id3v2Texts t = ReadId3v2Texts(Over(GetParam().tag));
    EXPECT_EQ(std::string(t.title), GetParam().title) << GetParam().name;
    EXPECT_EQ(std::string(t.performer), GetParam().performer) << GetParam().name;
}

const std::string kLong(200, 'x');
INSTANTIATE_TEST_SUITE_P(
    Versions, Id3v2Test,
    ::testing::Values(
        TagCase{"syncsafe sizes over 127",
                Tag(4, 0, Cat(Frame24("TXXX", Bytes(300, 1)), Frame24("TIT2", Cat(B({3}), Str(kLong))))),
                kLong.substr(0, 127), ""},
        TagCase{"unsynchronised frames, extended header, footer",
                Tag(4, 0xD0,
                    Cat(B({0, 0, 0, 6, 1, 0}),
                        Cat(Frame24("TPE1", B({0, 0xFF, 0, 'A'}), 0x02), Frame24("TIT2", B({3, 'T', 'i'}), 0x01)))),
                "",
                "\xC3\xBF"
                "A"},
        TagCase{"data length indicator", Tag(4, 0, Frame24("TIT2", B({0, 0, 0, 3, 3, 'T', 'i'}), 0x01)), "Ti", ""},
        TagCase{"2.4 sizes written plainly",
                Tag(4, 0, Frame24("TIT2", Cat(B({0}), Str(std::string(130, 'p'))), 0, true)), std::string(127, 'p'),
                ""},
        TagCase{"2.3 unsynchronised with extended header",
                Tag(3, 0xC0,
                    Cat(B({0, 0, 0, 6, 0, 0, 0, 0, 0, 0}),
                        B({'T', 'I', 'T', '2', 0, 0, 0, 5, 0, 0, 1, 0xFF, 0, 0xFE, 'T', 0}))),
                "T", ""},
        TagCase{"frame size beyond the tag", Tag(4, 0, B({'T', 'I', 'T', '2', 0, 0, 1, 0, 0, 0, 3, 'T'})), "", ""},
        TagCase{"compressed frame", Tag(3, 0, B({'T', 'I', 'T', '2', 0, 0, 0, 2, 0, 0x80, 3, 'T'})), "", ""}));

TEST(Id3v2Size, CountsTheFooter)
{
    EXPECT_EQ(Id3v2TotalSize(Tag(4, 0x10, Bytes(300))), 10 + 300 + 10);
    EXPECT_EQ(Id3v2TotalSize(Tag(3, 0x10, Bytes(300))), 10 + 300);
    EXPECT_EQ(Id3v2TotalSize(Bytes(10, 'I')), 0);
}

Bytes Ape(std::size_t items, bool header)
{
    auto footer = [&](int flags) {
        const auto size = static_cast<uint32_t>(items + 32);
        return Cat(Str("APETAGEX"),
                   B({0xD0, 7, 0, 0, int(size & 0xFF), int(size >> 8), 0, 0, 1, 0, 0, 0, 0, 0, 0, flags, 0, 0, 0, 0,
                      0,    0, 0, 0}));
    };
    return Cat(Cat(header ? footer(0xA0) : Bytes{}, Bytes(items, 0xFF)), footer(header ? 0x80 : 0));
}

TEST(EndTags, ApeLyricsAndId3v1AreCutOff)
{
    const Bytes audio(1000, 0xFF);
    const Bytes v1 = Cat(Str("TAG"), Bytes(125, ' '));
    const Bytes lyrics2 = Cat(Str("LYRICSBEGININD0000210"), Str("000021LYRICS200"));
    const Bytes lyrics1 = Cat(Str("LYRICSBEGINla la"), Str("LYRICSEND"));
    for (const Bytes& file : {Cat(Cat(audio, Ape(100, true)), v1), Cat(Cat(Cat(audio, Ape(64, false)), lyrics2), v1),
                              Cat(audio, lyrics1), audio})
        EXPECT_EQ(AudioEndOffset(Over(file), static_cast<int64_t>(file.size()), 0), 1000);
    Bytes forged = Cat(Bytes(40, 0xFF), Ape(64, false));
    forged[forged.size() - 32 + 14] = 0x7F; // claims more than the file holds
    EXPECT_EQ(AudioEndOffset(Over(forged), static_cast<int64_t>(forged.size()), 10), 10);
}

FrameHeader Layer3Stereo()
{
    FrameHeader h{};
    h.id = 1;
    h.layer = 3;
    h.bitrateIndex = 9; // 128 kbit/s
    h.samplingFrequency = 0;
    return h;
}

// A 417-byte Xing/Info frame with every field, and LAME's delay and padding.
Bytes XingFrame(const char* tag, uint32_t frames, uint32_t bytes, const Bytes& toc)
{
    Bytes f = Cat(B({0xFF, 0xFB, 0x90, 0}), Bytes(32, 0));
    f = Cat(f, Str(tag));
    f = Cat(f, B({0, 0, 0, 15, int(frames >> 24), int(frames >> 16 & 255), int(frames >> 8 & 255), int(frames & 255),
                  int(bytes >> 24), int(bytes >> 16 & 255), int(bytes >> 8 & 255), int(bytes & 255)}));
    f = Cat(Cat(f, toc), B({0, 0, 0, 50}));
    f = Cat(Cat(f, Str("LAME3.100")), Bytes(12, 0));
    f = Cat(f, B({0x24, 0x02, 0x3C})); // delay 576, padding 572
    f.resize(417, 0);
    return f;
}

TEST(VbrHeader, XingFieldsLameDelayAndAForgedTable)
{
    Bytes toc(100);
    for (int i = 0; i < 100; ++i)
        toc[static_cast<std::size_t>(i)] = static_cast<uint8_t>(i == 50 ? 3 : i * 255 / 100); // one step back
    const auto v = ParseVbrHeader(XingFrame("Xing", 1000, 400000, toc), Layer3Stereo());
    ASSERT_TRUE(v);
    EXPECT_EQ(v->kind, VbrHeader::Kind::Xing);
    EXPECT_EQ(v->frames, 1000u);
    EXPECT_EQ(v->bytes, 400000u);
    EXPECT_EQ(v->encoderDelay, 576);
    EXPECT_EQ(v->encoderPadding, 572);
    for (std::size_t i = 1; i < 100; ++i)
        EXPECT_GE(v->toc[i], v->toc[i - 1]);
    int64_t last = 0;
    for (double f = 0; f <= 1.0; f += 0.01) {
        const int64_t at = VbrSeekOffset(*v, f, 300000); // the file holds less than the header says
        EXPECT_GE(at, last);
        EXPECT_LE(at, 300000);
        last = at;
    }
    EXPECT_FALSE(ParseVbrHeader(XingFrame("Nope", 1, 1, toc), Layer3Stereo()));
}

TEST(VbrHeader, VbriTableBecomesAByteFractionPerPercent)
{
    // 100 frames in 10 entries of 10 frames; the first half of the bytes in the first entry.
    Bytes f = Cat(B({0xFF, 0xFB, 0x90, 0}), Bytes(32, 0));
    f = Cat(f, Cat(Str("VBRI"), B({0, 1, 0, 0, 0, 50, 0, 0, 0x03, 0xE8, 0, 0, 0, 100, 0, 10, 0, 1, 0, 2, 0, 10})));
    f = Cat(f, B({1, 0xF4})); // 500 bytes
    for (int i = 0; i < 9; ++i)
        f = Cat(f, B({0, 55})); // 55 bytes each, 1000 in all
    const auto v = ParseVbrHeader(f, Layer3Stereo());
    ASSERT_TRUE(v && v->hasToc);
    EXPECT_EQ(v->frames, 100u);
    EXPECT_EQ(v->toc[0], 0);
    EXPECT_EQ(v->toc[5], 64); // halfway through the first entry: 250 of 1000 bytes
    EXPECT_EQ(v->toc[10], 128);
    EXPECT_EQ(VbrSeekOffset(*v, 0.1, 1000), 500);
}

TEST(FreeFormat, LengthFromTheNextFramesEvenWithFalseSyncsBetween)
{
    // Layer III, 44.1 kHz, bit rate index 0; frames of 600 bytes, the second padded.
    auto frame = [](bool padded) {
        Bytes f = B({0xFF, 0xFB, padded ? 0x02 : 0x00, 0});
        f.resize(padded ? 601 : 600, 0);
        f[100] = 0xFF; // a sync of another stream shape in the data
        f[101] = 0xFB;
        f[102] = 0x90;
        return f;
    };
    const Bytes stream = Cat(Cat(frame(false), frame(true)), frame(false));
    FrameHeader h{};
    ASSERT_TRUE(ParseHeaderBytes(stream.data(), h));
    EXPECT_EQ(FreeFormatFrameBytes(stream, h), 600);
    EXPECT_EQ(ImpliedKbps(h, 600), 184);
    EXPECT_EQ(FreeFormatFrameBytes(Bytes(stream.begin(), stream.begin() + 500), h), 0);
}

TEST(FrameHeaderBytes, Mpeg25AndReservedVersions)
{
    FrameHeader h{};
    EXPECT_TRUE(ParseHeaderBytes(B({0xFF, 0xE3, 0x18, 0xC4}).data(), h));
    EXPECT_EQ(h.id, kIdMpeg25);
    EXPECT_EQ(SampleRateHz(h.id, h.samplingFrequency), 8000);
    EXPECT_FALSE(ParseHeaderBytes(B({0xFF, 0xEB, 0x18, 0xC4}).data(), h)); // version bits 01
}

} // namespace
} // namespace lumetra::mpeg
