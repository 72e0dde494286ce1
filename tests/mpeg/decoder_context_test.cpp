#include "engine/mpeg_item_adapter.h"
#include "mpeg/decoder_context.h"
#include "mpeg/diagnostics.h"
#include "mpeg/frame_crc.h"
#include "mpeg/stream_info.h"
#include "stream_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace lumetra::mpeg {
namespace {

// The decoder is tested through the item, as the engine drives it.
using engine::AnalyseMpegItem;
using engine::ReadFileSizeAndId3v1;

using test::Append;
using test::FrameShape;
using test::SilentFrame;
using test::TempDir;

class DecoderContextTest : public ::testing::Test {
protected:
    // Writes bytes, analyses the file as the player does and returns the item.
    MediaItem& Analysed(const std::vector<uint8_t>& bytes)
    {
        m_item = MakeMediaItem();
        const std::string path = m_dir.Write("stream.mp2", bytes);
        std::strcpy(m_item.path, path.c_str());
        EXPECT_EQ(AnalyseMpegItem(m_item), 1);
        return m_item;
    }
    // Decodes to the end; returns the values written per call.
    std::vector<int> DecodeAll()
    {
        std::vector<int> counts;
        while (!m_item.endOfData && counts.size() < 10000)
            counts.push_back(m_decoder.DecodeNextFrame(m_block));
        return counts;
    }

    TempDir m_dir;
    MediaItem m_item{};
    DecoderContext m_context;
    engine::MpegItemDecoder m_decoder{m_context};
    uint8_t m_block[2 * 4608];
};

std::vector<uint8_t> Frames(const FrameShape& shape, int count)
{
    std::vector<uint8_t> bytes;
    for (int i = 0; i < count; ++i)
        Append(bytes, SilentFrame(shape));
    return bytes;
}

TEST_F(DecoderContextTest, OpenAtZeroDecodesEveryFrameThenEnds)
{
    FrameShape shape; // layer II, 48 kHz, 256 kbit/s: 768-byte frames
    MediaItem& item = Analysed(Frames(shape, 10));
    EXPECT_EQ(m_decoder.Open(item, 0), 0);
    EXPECT_EQ(item.isPlaying, 1);
    const auto counts = DecodeAll();
    ASSERT_EQ(counts.size(), 11u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(counts[i], 2304) << i;
    EXPECT_EQ(counts[10], 0);
    EXPECT_EQ(item.endOfData, 1);
    EXPECT_EQ(item.endOfQueue, 1);
    EXPECT_EQ(item.decoderCounter, 9);
    EXPECT_EQ(item.samplesPerFrame, 1152);
    m_decoder.Close();
    EXPECT_EQ(item.layer, -1);
    EXPECT_EQ(item.isPlaying, 0);
    EXPECT_EQ(item.endOfQueue, 0);
    m_decoder.Close();
    EXPECT_FALSE(m_decoder.IsOpen());
}

struct OffsetCase {
    int target;
    int startSample;
    long long firstReadPos; // streamReadPos after the first decoded frame
};

class OpenAtOffset : public DecoderContextTest, public ::testing::WithParamInterface<OffsetCase> {};

TEST_P(OpenAtOffset, ReturnsTheSamplesBeforeTheFirstFrameAtOrAfterTarget)
{
    MediaItem& item = Analysed(Frames(FrameShape{}, 10));
    const OffsetCase c = GetParam();
    EXPECT_EQ(m_decoder.Open(item, c.target), c.startSample);
    const int first = m_decoder.DecodeNextFrame(m_block);
    if (c.firstReadPos >= 0) {
        EXPECT_EQ(first, 2304);
        EXPECT_EQ(item.streamReadPos, c.firstReadPos);
    } else {
        EXPECT_EQ(first, 0);
        EXPECT_EQ(item.endOfData, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenAtOffset,
                         ::testing::Values(OffsetCase{0, 0, 1}, OffsetCase{1, 0, 1}, OffsetCase{2, 1152, 769},
                                           OffsetCase{768, 1152, 769}, OffsetCase{769, 2304, 1537},
                                           OffsetCase{5000, 7 * 1152, 7 * 768 + 1}, OffsetCase{7680, 10 * 1152, -1},
                                           OffsetCase{100000, 10 * 1152, -1}));

TEST_F(DecoderContextTest, TargetIsCountedWithoutTheId3v2Tag)
{
    std::vector<uint8_t> bytes = test::Id3v2Header(3, 100);
    bytes.resize(110, 0);
    Append(bytes, Frames(FrameShape{}, 4));
    MediaItem& item = Analysed(bytes);
    // Positions count from 10 bytes before the first audio byte, and a frame
    // is taken once its sync byte has been read: the first frame serves
    // targets up to 11.
    EXPECT_EQ(m_decoder.Open(item, 11), 0);
    m_decoder.Close();
    Analysed(bytes);
    EXPECT_EQ(m_decoder.Open(item, 12), 1152);
}

TEST_F(DecoderContextTest, FreeFormatFrameInTheScanAddsNoSamples)
{
    FrameShape free;
    free.bitrateIndex = 0;
    std::vector<uint8_t> bytes = Frames(FrameShape{}, 2);
    auto freeFrame = SilentFrame(free);
    freeFrame.resize(500, 0);
    Append(bytes, freeFrame);
    Append(bytes, Frames(FrameShape{}, 2));
    MediaItem& item = Analysed(bytes);
    EXPECT_EQ(m_decoder.Open(item, 100000), 4 * 1152);
}

// A file past 2 GiB (sparse: frames, a hole, frames): its length counts every
// byte, and a seek goes straight to the frame at the target (a scan from the
// start stops at the hole).
TEST_F(DecoderContextTest, SeekPastTwoGibGoesStraightToTheFrame)
{
    const int64_t far = int64_t{768} * 3'500'000;
    const std::vector<uint8_t> frames = Frames(FrameShape{}, 8);
    MediaItem& item = Analysed(frames);
    FILE* f = std::fopen(item.path, "r+b");
    ASSERT_TRUE(f && std::fseek(f, far, SEEK_SET) == 0);
    EXPECT_EQ(std::fwrite(frames.data(), 1, frames.size(), f), frames.size());
    std::fclose(f);
    ASSERT_EQ(AnalyseMpegItem(item), 1);
    EXPECT_EQ(item.totalSamples, (3'500'000 + 8) * int64_t{1152});
    EXPECT_EQ(m_decoder.Open(item, far + 3 * 768 + 5), (3'500'000 + 4) * int64_t{1152});
    EXPECT_EQ(m_decoder.DecodeNextFrame(m_block), 2304);
    EXPECT_EQ(item.streamReadPos, far + 4 * 768 + 1);
}

std::vector<uint8_t> Sequence(std::initializer_list<FrameShape> shapes)
{
    std::vector<uint8_t> bytes;
    for (const auto& s : shapes)
        Append(bytes, SilentFrame(s));
    return bytes;
}

std::vector<uint8_t> HexText(const std::vector<uint8_t>& binary)
{
    std::string text;
    for (std::size_t i = 0; i < binary.size(); ++i) {
        text += "0123456789ABCDEF"[binary[i] >> 4];
        text += "0123456789ABCDEF"[binary[i] & 15];
        if (i % 32 == 31)
            text += "\r\n";
    }
    return {text.begin(), text.end()};
}

struct StreamCase {
    const char* name;
    std::vector<uint8_t> bytes;
    std::vector<int> firstCounts; // values written by the first calls
    int decoded;                  // calls that wrote values, to the end
    int samplesPerFrame, channels = 2, sampleRate = 48000, errorProtection = 0;
};

class DecodedStream : public DecoderContextTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(DecodedStream, WritesEachFrameOrDropsIt)
{
    const StreamCase& c = GetParam();
    MediaItem& item = Analysed(c.bytes);
    m_decoder.Open(item, 0);
    const auto counts = DecodeAll();
    ASSERT_GE(counts.size(), c.firstCounts.size());
    EXPECT_EQ(std::vector<int>(counts.begin(), counts.begin() + static_cast<long>(c.firstCounts.size())),
              c.firstCounts);
    EXPECT_EQ(std::count_if(counts.begin(), counts.end(), [](int n) { return n > 0; }), c.decoded);
    EXPECT_EQ(item.endOfData, 1);
    EXPECT_EQ(item.endOfQueue, 1);
    EXPECT_EQ(item.samplesPerFrame, c.samplesPerFrame);
    EXPECT_EQ(item.channels, c.channels);
    EXPECT_EQ(item.sampleRate, c.sampleRate);
    EXPECT_EQ(item.errorProtection, c.errorProtection);
}

FrameShape Shape(int layer, bool protect, bool badCrc, int mode = 0)
{
    return {.layer = layer, .protect = protect, .bitrateIndex = layer == 1 ? 8 : 12, .mode = mode, .badCrc = badCrc};
}

const FrameShape kL2 = Shape(2, false, false), kCrc = Shape(2, true, false), kBadCrc = Shape(2, true, true);
const FrameShape kL1 = Shape(1, true, false), kL1BadCrc = Shape(1, true, true);
const FrameShape kJoint = Shape(2, false, false, kModeJointStereo), kDual = Shape(2, false, false, kModeDualChannel);
const FrameShape kMono = Shape(2, false, false, kModeSingleChannel);

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodedStream,
    ::testing::Values(
        // Modes of the same channel count mix, but a mono frame in a stereo stream is rejected.
        StreamCase{"modes_mix", Sequence({kL2, kJoint, kDual, kMono, kJoint, kL2}), {}, 5, 1152},
        StreamCase{
            "crc_mismatch_drops_the_frame", Sequence({kCrc, kBadCrc, kCrc}), {2304, 0, 2304}, 2, 1152, 2, 48000, 1},
        StreamCase{"crc_mismatch_layer1", Sequence({kL1, kL1BadCrc, kL1, kL1}), {768, 0, 768}, 3, 384, 2, 48000, 1},
        StreamCase{"hex_text", HexText(Frames(kL2, 3)), {2304, 2304, 2304}, 3, 1152}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DecoderContextTest, UnreadableFileEndsAtOnce)
{
    EXPECT_EQ(m_decoder.DecodeNextFrame(m_block), 0); // not open yet
    MediaItem& item = Analysed(Frames(FrameShape{}, 2));
    std::strcpy(item.path, "/nonexistent/x.mp2");
    EXPECT_EQ(m_decoder.Open(item, 0), 0);
    EXPECT_EQ(item.isPlaying, 0);
    EXPECT_EQ(item.endOfData, 1);
    EXPECT_EQ(item.endOfQueue, 1);
    EXPECT_EQ(m_decoder.DecodeNextFrame(m_block), 0);
    m_decoder.Close();
}

TEST_F(DecoderContextTest, DiagnosticLinesOnlyWhenSwitchedOn)
{
    MediaItem& item = Analysed(Frames(FrameShape{}, 2));
    auto decodeCapturing = [&](bool on, std::string& out, std::string& err) {
        SetDiagnostics(on);
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        m_decoder.Open(item, 0);
        DecodeAll();
        out = ::testing::internal::GetCapturedStdout();
        err = ::testing::internal::GetCapturedStderr();
        SetDiagnostics(false);
        m_decoder.Close();
        item.layer = 2;
        item.endOfData = 0;
    };
    std::string out, err;
    decodeCapturing(false, out, err);
    EXPECT_EQ(out + err, "");
    decodeCapturing(true, out, err);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "HDR: s=FFF, id=1, l=2, ep=off, br=C, sf=1, pd=0, pr=0, m=0, js=0, c=0, o=0, e=0\n"
                   "alg.=MPEG-1, layer=II, tot bitrate=256, sfrq=48.0\n"
                   "mode=stereo, sblim=27, jsbd=27, ch=2\n"
                   "{   1}{   2}"
                   "Frame cannot be located\nInput stream may be empty\n");
}

TEST(DecoderContext, OpeningAMissingFileFails)
{
    DecoderContext decoder;
    EXPECT_EQ(decoder.Open("/nonexistent/x.mp2", {}, 0), std::nullopt);
    int16_t out[kMaxFrameValues];
    EXPECT_EQ(decoder.DecodeNextFrame(out).status, FrameStatus::End);
    EXPECT_TRUE(decoder.IsOpen());
    decoder.Close();
    EXPECT_FALSE(decoder.IsOpen());
}

} // namespace
} // namespace lumetra::mpeg
