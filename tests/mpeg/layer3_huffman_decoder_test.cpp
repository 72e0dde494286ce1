#include "bit_writer.h"
#include "mpeg/diagnostics.h"
#include "mpeg/layer3/bit_reservoir.h"
#include "mpeg/layer3/huffman_decoder.h"
#include "mpeg/layer3/huffman_tables.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace lumetra::mpeg {
namespace {

using test::BitWriter;

// Valid streams are compared sample for sample against mpg123 (layer3_accuracy);
// these cases are the damaged ones: data that ends early, a quadruple that runs
// past its part, a code no tree leads to.

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

} // namespace
} // namespace lumetra::mpeg
