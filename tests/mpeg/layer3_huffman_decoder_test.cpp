#include "layer3_reference_codes.h"
#include "mpeg/diagnostics.h"
#include "mpeg/layer3/bit_reservoir.h"
#include "mpeg/layer3/huffman_decoder.h"
#include "mpeg/layer3/huffman_tables.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <map>
#include <random>
#include <vector>

namespace lumetra::mpeg {
namespace {

using test::BitWriter;
using test::ReferenceTables;

// MPEG-1 44.1 kHz long band boundaries.
constexpr int16_t kBands[23] = {0,  4,  8,   12,  16,  20,  24,  30,  36,  44,  52, 62,
                                74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576};

const test::ReferenceCode& CodeFor(int table, uint32_t value)
{
    static std::map<std::pair<int, uint32_t>, const test::ReferenceCode*> index;
    if (index.empty()) {
        for (const auto& t : ReferenceTables())
            for (const auto& c : t.codes)
                index[{t.number, c.value}] = &c;
    }
    const auto& ref = ReferenceTables()[table];
    const int owner = ref.sameCodesAs >= 0 ? ref.sameCodesAs : table;
    return *index.at({owner, value});
}

// Encodes one big-value pair as an encoder would.
void PutPair(BitWriter& w, int table, int x, int y)
{
    const auto& ref = ReferenceTables()[table];
    if (ref.xlen == 0)
        return;
    const int ax = std::abs(x), ay = std::abs(y);
    const int cx = ref.linbits ? std::min(ax, 15) : ax;
    const int cy = ref.linbits ? std::min(ay, 15) : ay;
    w.PutCode(CodeFor(table, static_cast<uint32_t>(cx * 16 + cy)).bits);
    if (ref.linbits && cx == 15)
        w.Put(static_cast<uint32_t>(ax - 15), ref.linbits);
    if (ax)
        w.Put(x < 0, 1);
    if (ref.linbits && cy == 15)
        w.Put(static_cast<uint32_t>(ay - 15), ref.linbits);
    if (ay)
        w.Put(y < 0, 1);
}

void PutQuad(BitWriter& w, int table, const int v[4])
{
    uint32_t value = 0;
    for (int k = 0; k < 4; ++k)
        value = value * 2 + (v[k] != 0);
    w.PutCode(CodeFor(table, value).bits);
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

GranuleChannelInfo LongGranule(int bigValues, int t0, int t1, int t2, int r0, int r1, int count1Table)
{
    GranuleChannelInfo g{};
    g.bigValues = bigValues;
    g.tableSelect[0] = t0;
    g.tableSelect[1] = t1;
    g.tableSelect[2] = t2;
    g.region0Count = r0;
    g.region1Count = r1;
    g.count1TableSelect = count1Table;
    return g;
}

int RandomValue(std::mt19937& rng, int table)
{
    const auto& ref = ReferenceTables()[table];
    if (ref.xlen == 0)
        return 0;
    int max = ref.xlen - 1;
    if (ref.linbits)
        max = 15 + (1 << ref.linbits) - 1;
    std::uniform_int_distribution<int> pick(0, 3);
    int magnitude;
    switch (pick(rng)) {
    case 0:
        magnitude = 0;
        break;
    case 1:
        magnitude = max;
        break;
    case 2:
        magnitude = std::min(max, 15);
        break;
    default:
        magnitude = std::uniform_int_distribution<int>(0, max)(rng);
        break;
    }
    return std::uniform_int_distribution<int>(0, 1)(rng) ? -magnitude : magnitude;
}

struct Spectrum {
    std::array<int32_t, 576> values{};
    BitWriter bits;
};

// Random values for every region, then count1 quadruples up to 576.
Spectrum Encode(const GranuleChannelInfo& g, int quads, std::mt19937& rng)
{
    Spectrum s;
    const int r1 = kBands[g.region0Count + 1];
    const int r2 = kBands[std::min(g.region0Count + g.region1Count + 2, 22)];
    int i = 0;
    for (; i < 2 * g.bigValues; i += 2) {
        const int table = g.tableSelect[i < r1 ? 0 : i < r2 ? 1 : 2];
        s.values[i] = RandomValue(rng, table);
        s.values[i + 1] = RandomValue(rng, table);
        PutPair(s.bits, table, s.values[i], s.values[i + 1]);
    }
    std::uniform_int_distribution<int> unit(-1, 1);
    for (int k = 0; k < quads && i + 4 <= 576; ++k, i += 4) {
        int v[4];
        for (int j = 0; j < 4; ++j)
            s.values[i + j] = v[j] = unit(rng);
        PutQuad(s.bits, 32 + g.count1TableSelect, v);
    }
    return s;
}

class HuffmanRoundTrip : public testing::TestWithParam<int> {};

// Values written with the reference code words come back through the trees,
// escapes and signs included, for every table in every region.
TEST_P(HuffmanRoundTrip, DecodesWhatTheReferenceCodesEncode)
{
    const int table = GetParam();
    std::mt19937 rng(table);
    for (int count1 : {0, 1}) {
        const GranuleChannelInfo g = LongGranule(200, table, table, table, 5, 4, count1);
        Spectrum s = Encode(g, 40, rng);
        const int32_t end = static_cast<int32_t>(s.bits.BitCount());
        s.bits.Put(0x2a, 7); // the next channel's data
        BitReservoir r;
        Load(r, s.bits.Bytes());
        int32_t q[576];
        const int count = DecodeHuffman(r, g, kBands, TheHuffmanTables(), end, q);
        EXPECT_EQ(count, 400 + 160);
        EXPECT_EQ(r.Position(), end);
        for (int i = 0; i < 576; ++i)
            ASSERT_EQ(q[i], s.values[i]) << "position " << i;

        // Requantised while decoding: the same values as afterwards.
        GranuleChannelInfo gq = g;
        gq.globalGain = 150 + table;
        gq.preflag = count1;
        ScaleFactors sf{};
        for (int b = 0; b < 22; ++b)
            sf.l[b] = (b * 5 + table) % 16;
        const BandLayout bands = BandLayoutFor(1, 0);
        float expected[576], fused[576];
        Requantize(q, count, gq, sf, bands, expected);
        GainSegments gains;
        BuildGainSegments(gq, sf, bands, gains);
        r.SetPosition(0);
        EXPECT_EQ(DecodeHuffmanRequantized(r, gq, kBands, TheHuffmanTables(), end, gains, fused), count);
        for (int i = 0; i < 576; ++i)
            ASSERT_EQ(fused[i], expected[i]) << "position " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(BigValueTables, HuffmanRoundTrip,
                         testing::Values(1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24,
                                         25, 26, 27, 28, 29, 30, 31));

struct RegionCase {
    const char* name;
    GranuleChannelInfo g;
    int quads;    // count1 quadruples written after the big values
    bool filler;  // 32 more bits of the part that would decode as quadruples
    int expected; // values decoded
};

class HuffmanRegions : public testing::TestWithParam<RegionCase> {};

TEST_P(HuffmanRegions, DecodeToThePartEnd)
{
    const RegionCase& c = GetParam();
    std::mt19937 rng(7);
    Spectrum s = Encode(c.g, c.quads, rng);
    if (c.filler)
        s.bits.Put(0xffffffff, 32);
    const int32_t end = static_cast<int32_t>(s.bits.BitCount());
    BitReservoir r;
    Load(r, s.bits.Bytes());
    int32_t q[576];
    EXPECT_EQ(DecodeHuffman(r, c.g, kBands, TheHuffmanTables(), end, q), c.expected);
    EXPECT_EQ(r.Position(), end);
    for (int i = 0; i < 576; ++i)
        ASSERT_EQ(q[i], s.values[i]) << "position " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HuffmanRegions,
    testing::Values(RegionCase{"regions_use_their_own_tables", LongGranule(288, 1, 24, 13, 3, 2, 0), 0, false, 576},
                    // Regions 0 (lines 0..11) and 2 use table 0, which reads no bits.
                    RegionCase{"table_zero_regions", LongGranule(100, 0, 5, 0, 2, 6, 1), 10, false, 240},
                    RegionCase{"big_values_to_576_leave_no_room_for_count1", LongGranule(288, 7, 7, 7, 7, 7, 0), 0,
                               true, 576}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HuffmanDecoder, QuadrupleRunningPastThePartIsForgotten)
{
    BitWriter w;
    const int first[4] = {1, 0, -1, 0};
    PutQuad(w, 32, first);
    const int32_t end = static_cast<int32_t>(w.BitCount()) + 2;
    const int second[4] = {1, 1, 1, 1}; // 4 + 4 bits, passes the end
    PutQuad(w, 32, second);
    BitReservoir r;
    Load(r, w.Bytes());
    int32_t q[576];
    const GranuleChannelInfo g = LongGranule(0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(DecodeHuffman(r, g, kBands, TheHuffmanTables(), end, q), 4);
    EXPECT_EQ(r.Position(), end);
    EXPECT_EQ(q[0], 1);
    EXPECT_EQ(q[2], -1);
    for (int i = 4; i < 576; ++i)
        ASSERT_EQ(q[i], 0);
}

TEST(HuffmanDecoder, NeverDecodesPastTheWrittenData)
{
    std::mt19937 rng(11);
    const GranuleChannelInfo g = LongGranule(288, 15, 15, 15, 7, 7, 0);
    Spectrum s = Encode(g, 0, rng);
    BitReservoir r;
    std::vector<uint8_t> bytes = s.bits.Bytes();
    bytes.resize(20); // the frame's data ends early
    Load(r, bytes);
    int32_t q[576];
    const int count = DecodeHuffman(r, g, kBands, TheHuffmanTables(), 4000, q);
    EXPECT_LT(count, 576);
    EXPECT_EQ(r.Position(), 4000);
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(q[i], s.values[i]) << "position " << i;
    for (int i = count; i < 576; ++i)
        ASSERT_EQ(q[i], 0);
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
    const GranuleChannelInfo g = LongGranule(2, 1, 1, 1, 7, 7, 0);
    int32_t q[576];
    SetDiagnostics(true);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(DecodeHuffman(r, g, kBands, tables, static_cast<int32_t>(w.BitCount()), q), 4);
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
