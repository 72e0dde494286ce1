// Damaged layer III data and tables: data that ends early, codes no tree leads
// to, impossible side information, broken table text. Valid streams are
// compared sample for sample against mpg123 (layer3_accuracy).
#include "bit_writer.h"
#include "mpeg/diagnostics.h"
#include "mpeg/layer3/bit_reservoir.h"
#include "mpeg/layer3/frame_decoder.h"
#include "mpeg/layer3/huffman_decoder.h"
#include "mpeg/layer3/huffman_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace lumetra::mpeg {
namespace {

using test::BitWriter;

// MPEG-1 44.1 kHz long band boundaries.
constexpr int16_t kBands[23] = {0,  4,  8,   12,  16,  20,  24,  30,  36,  44,  52, 62,
                                74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576};

// Table 1 codes (x, y in 0..1): 00 "1", 01 "001", 10 "01", 11 "000"; then the signs.
void PutPairTable1(BitWriter& w, int x, int y)
{
    static const char* const kCodes[4] = {"1", "001", "01", "000"};
    w.PutCode(kCodes[(x != 0) * 2 + (y != 0)]);
    for (int v : {x, y})
        if (v)
            w.Put(v < 0, 1);
}

// Count1 table B: four bits, 15 minus vwxy; then the signs.
void PutQuadTableB(BitWriter& w, const int v[4])
{
    uint32_t value = 0;
    for (int k = 0; k < 4; ++k)
        value = value * 2 + (v[k] != 0);
    w.Put(15 - value, 4);
    for (int k = 0; k < 4; ++k)
        if (v[k])
            w.Put(v[k] < 0, 1);
}

void Load(BitReservoir& r, const std::vector<uint8_t>& bytes)
{
    r.Reset();
    for (uint8_t b : bytes)
        r.AppendByte(b);
}

GranuleChannelInfo Granule(int bigValues, int table, int count1Table)
{
    GranuleChannelInfo g{};
    g.bigValues = bigValues;
    g.tableSelect[0] = g.tableSelect[1] = g.tableSelect[2] = table;
    g.region0Count = g.region1Count = 7;
    g.count1TableSelect = count1Table;
    return g;
}

TEST(HuffmanDecoder, QuadrupleRunningPastThePartIsForgotten)
{
    BitWriter w;
    const int first[4] = {1, 0, -1, 0};
    PutQuadTableB(w, first);
    const int32_t end = static_cast<int32_t>(w.BitCount()) + 2;
    const int second[4] = {1, 1, 1, 1}; // 4 + 4 bits, passes the end
    PutQuadTableB(w, second);
    BitReservoir r;
    Load(r, w.Bytes());
    int32_t q[576];
    EXPECT_EQ(DecodeHuffman(r, Granule(0, 0, 1), kBands, TheHuffmanTables(), end, q), 4);
    EXPECT_EQ(r.Position(), end);
    const int32_t expect[4] = {1, 0, -1, 0};
    for (int i = 0; i < 576; ++i)
        ASSERT_EQ(q[i], i < 4 ? expect[i] : 0) << i;
}

// The frame's data ends long before its part: past the data, zero bits would
// decode as values, so decoding stops at the data's end.
TEST(HuffmanDecoder, NeverDecodesPastTheWrittenData)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> unit(-1, 1);
    BitWriter w;
    std::vector<int32_t> values;
    while (w.BitCount() < 400) {
        const int x = unit(rng), y = unit(rng);
        PutPairTable1(w, x, y);
        values.insert(values.end(), {x, y});
    }
    std::vector<uint8_t> bytes = w.Bytes();
    bytes.resize(20);
    BitReservoir r;
    Load(r, bytes);
    int32_t q[576];
    const int count = DecodeHuffman(r, Granule(288, 1, 0), kBands, TheHuffmanTables(), 4000, q);
    ASSERT_GT(count, 40);
    ASSERT_LT(count, 160);
    EXPECT_EQ(r.Position(), 4000);
    for (int i = 0; i < 576; ++i)
        ASSERT_EQ(q[i], i < count ? values[i] : 0) << "position " << i;
}

TEST(HuffmanDecoder, IllegalCodeIsConcealed)
{
    // Table 1 replaced by a tree whose 1-branch never reaches a leaf.
    FILE* f = std::tmpfile();
    const char text[] = ".table 0 0 0 0 0\n.treedata\n\n.table 1 3 4 3 0\n.treedata\n 1 0 0 11 0 12\n.end\n";
    std::fwrite(text, 1, sizeof text - 1, f);
    std::rewind(f);
    HuffmanTables tables;
    ASSERT_EQ(tables.Read(f), 2);
    std::fclose(f);

    BitWriter w;
    w.Put(0, 1);           // (1, 1) by the 0 branch ...
    w.Put(0, 1);           // ... positive x
    w.Put(1, 1);           // negative y
    w.Put(0xffffffff, 32); // no leaf within 32 bits
    w.Put(1, 1);           // the concealed x = 6 is negative
    w.Put(0, 1);           // the concealed y = 4 is positive
    BitReservoir r;
    Load(r, w.Bytes());
    int32_t q[576];
    SetDiagnostics(true);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(DecodeHuffman(r, Granule(2, 1, 0), kBands, tables, static_cast<int32_t>(w.BitCount()), q), 4);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Illegal Huffman code in data.\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    SetDiagnostics(false);
    EXPECT_EQ(q[0], 1);
    EXPECT_EQ(q[1], -1);
    EXPECT_EQ(q[2], -6);
    EXPECT_EQ(q[3], 4);
}

FILE* TextStream(const std::string& text)
{
    FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    return f;
}

struct BadText {
    const char* name;
    std::string text;
    int result;
    const char* message;
};

std::string GoodPrefix()
{
    return "# comment\r\n\r\n.table 0 0 0 0 0\r\n.treedata\r\n\r\n"
           ".table 1 7 2 2 0\r\n.treedata\r\n 2  1  0  0  2  1  0 10  1  2  0 11  0  1\r\n";
}

class HuffmanTablesBadText : public testing::TestWithParam<BadText> {};

TEST_P(HuffmanTablesBadText, ReturnsItsCodeAndShowsItsText)
{
    TableReport report;
    HuffmanTables tables;
    FILE* f = TextStream(GetParam().text);
    EXPECT_EQ(tables.Read(f, &report), GetParam().result);
    std::fclose(f);
    if (GetParam().message)
        EXPECT_EQ(report.messages, std::vector<std::string>{GetParam().message});
    else
        EXPECT_TRUE(report.messages.empty());
    EXPECT_FALSE(report.exitStatus);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HuffmanTablesBadText,
    testing::Values(
        BadText{"EndAfterTwoTables", GoodPrefix() + ".end\r\n", 2, nullptr},
        BadText{"OtherKeyword", GoodPrefix() + ".tabel 2 17 3 3 0\r\n", -1, "huffman table 2 data corrupted\n"},
        BadText{"EndOfFile", GoodPrefix(), -1, "huffman table 2 data corrupted\n"},
        BadText{"OutOfSequence", GoodPrefix() + ".table 3 17 3 3 0\r\n.treedata\r\n", -2, "wrong table number 2\n"},
        BadText{"ReferenceOfOtherSize", GoodPrefix() + ".table 2 7 3 3 0\r\n.reference 1\r\n", -3,
                "wrong table 2 reference\n"},
        BadText{"ReferenceForward", GoodPrefix() + ".table 2 7 2 2 0\r\n.reference 5\r\n", -3,
                "wrong table 2 reference\n"},
        BadText{"UnknownTreeKeyword", GoodPrefix() + ".table 2 7 2 2 0\r\n.treedate\r\n.end\r\n", 3,
                "huffman decodertable error at table 2\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HuffmanTables, ReferenceSharesTheEarlierTree)
{
    HuffmanTables tables;
    FILE* f = TextStream(GoodPrefix() + ".table 2 7 2 2 3\r\n.reference 1\r\n.end\r\n");
    EXPECT_EQ(tables.Read(f), 3);
    std::fclose(f);
    EXPECT_EQ(tables[2].tree, tables[1].tree);
    EXPECT_EQ(tables[2].treeLength, 7u);
    EXPECT_EQ(tables[2].linbits, 3u);
    EXPECT_EQ(tables[2].linmax, 7u);
    EXPECT_EQ(tables[2].reference, 1);
    EXPECT_EQ(tables[1].reference, -1); // its own tree data
}

struct LoadCase {
    FILE* stream;
    const char* text;
    int status;
};

TEST(HuffmanTables, UnusableTextsReportTheirStatus)
{
    const LoadCase cases[] = {
        {nullptr, "Please check huffman table 'huffdec'\n", 1},
        {TextStream(GoodPrefix() + ".end\r\n"), "decoder table read error\n", 4},
        {TextStream(GoodPrefix() + ".table 2 4000000000 3 3 0\r\n.treedata\r\n"), "heaperror at table 2\n", -10}};
    for (const auto& c : cases) {
        HuffmanTables tables;
        TableReport report;
        LoadHuffmanTables(tables, c.stream, report);
        EXPECT_EQ(report.messages, std::vector<std::string>{c.text});
        EXPECT_EQ(report.exitStatus, std::optional<int>(c.status));
    }
    EXPECT_TRUE(TheHuffmanTablesReport().Clean());
}

// Appends a frame's main data whose bytes count up from first.
void AppendFrame(BitReservoir& r, int slots, int first)
{
    for (int i = 0; i < slots; ++i)
        r.AppendByte(static_cast<uint32_t>(first + i) & 0xff);
}

TEST(BitReservoir, FramesReferringBeforeTheFirstFrameReadAreGivenUp)
{
    BitReservoir r;
    // Opened mid-stream: the first frame's data starts 100 bytes back.
    AppendFrame(r, 300, 0);
    EXPECT_LT(r.BeginFrame(100, 300), 0);
    // The next one starts 50 bytes into the first frame's data: available.
    AppendFrame(r, 300, 300);
    EXPECT_EQ(r.BeginFrame(50, 300), 250);
    EXPECT_EQ(r.ReadBits(8), 250u);
    EXPECT_EQ(r.ReadBits(16), (251u << 8) | 252u);
}

TEST(BitReservoir, ResetForgetsEverything)
{
    BitReservoir r;
    AppendFrame(r, 500, 1);
    ASSERT_EQ(r.BeginFrame(0, 500), 0);
    r.SkipBits(4000);
    r.Reset();
    EXPECT_EQ(r.Position(), 0);
    EXPECT_EQ(r.FrameStart(), 0);
    EXPECT_EQ(r.Peek32(), 0u);
    AppendFrame(r, 10, 0);
    EXPECT_LT(r.BeginFrame(1, 10), 0);
    // Reads past the written data give zeros.
    r.Reset();
    r.AppendByte(0xff);
    r.AppendByte(0xff);
    EXPECT_EQ(r.Peek32(), 0xffff0000u);
    r.SkipBits(12);
    EXPECT_EQ(r.ReadBits(8), 0xf0u);
    EXPECT_EQ(r.ReadBits(32), 0u);
}

TEST(FrameDecoder, WindowSwitchingWithBlockTypeZeroGivesTheFrameUp)
{
    FrameDecoder decoder;
    decoder.Reset();
    Synthesis synthesis;
    PcmSamples pcm{};
    // MPEG-2 mono side information: main_data_begin 8, private 1, then the
    // granule: part2_3 12, big_values 9, global_gain 8, scalefac_compress 9,
    // window switching 1 with block type 00. Zeros after the 200 bytes.
    BitReservoir bits;
    for (int i = 0; i < 200; ++i)
        bits.AppendByte(i == 6 ? 0x02 : 0); // bit 46 of the side information: window switching
    FrameHeader h{};
    h.layer = 3;
    h.bitrateIndex = 9;
    h.mode = kModeSingleChannel;
    std::vector<int16_t> block(576, 1);
    int16_t* out = block.data();
    EXPECT_EQ(decoder.Decode(bits, 0, h, 1, synthesis, pcm, out), 0);
    EXPECT_EQ(out - block.data(), 576);
    for (int16_t v : block)
        ASSERT_EQ(v, 0);
}

} // namespace
} // namespace lumetra::mpeg
