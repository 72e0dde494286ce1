#include "layer3_reference_codes.h"
#include "mpeg/layer3/huffman_decoder.h"
#include "mpeg/layer3/huffman_tables.h"
#include "platform/resources/resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace lumetra::mpeg {
namespace {

using test::ReferenceTables;

FILE* TextStream(const std::string& text)
{
    FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    return f;
}

TEST(HuffmanTables, EmbeddedTextGivesAllTablesWithTheirDimensions)
{
    HuffmanTables tables;
    FILE* f = platform::OpenResourceStream("textfile", "HuffDec");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(tables.Read(f), 34);
    std::fclose(f);
    const auto& ref = ReferenceTables();
    for (int n = 0; n < 34; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(std::string(tables[n].name), std::to_string(n));
        EXPECT_EQ(tables[n].xlen * 100 + tables[n].ylen * 10 + tables[n].linbits,
                  ref[n].xlen * 100 + ref[n].ylen * 10 + ref[n].linbits);
        EXPECT_EQ(tables[n].linmax, (1u << tables[n].linbits) - 1);
        EXPECT_EQ(tables[n].reference, ref[n].sameCodesAs);
        if (ref[n].sameCodesAs >= 0)
            EXPECT_EQ(tables[n].tree, tables[ref[n].sameCodesAs].tree);
        else // a complete binary tree over the code words, plus any relay nodes
            EXPECT_GE(tables[n].treeLength + 1, 2 * std::max<std::size_t>(ref[n].codes.size(), 1) - 1);
    }
}

// Every code word of every table, followed by arbitrary bits, decodes to its
// value using exactly its own bits.
TEST(HuffmanTables, EveryCodeWordDecodesThroughTheTree)
{
    const HuffmanTables& tables = TheHuffmanTables();
    int checked = 0;
    bool jumpSeen = false;
    for (const auto& ref : ReferenceTables()) {
        const HuffmanTable& t = tables[ref.number];
        const auto& codes = ref.sameCodesAs >= 0 ? ReferenceTables()[ref.sameCodesAs].codes : ref.codes;
        for (uint32_t p = 0; p < t.treeLength; ++p)
            jumpSeen |= t.tree[p][0] != 0 && (t.tree[p][0] >= kHuffmanJump || t.tree[p][1] >= kHuffmanJump);
        for (const auto& code : codes) {
            for (uint32_t tail : {0u, 0xffffffffu, 0x5a5a5a5au}) {
                uint32_t window = 0;
                for (size_t i = 0; i < code.bits.size(); ++i)
                    window |= static_cast<uint32_t>(code.bits[i] == '1') << (31 - i);
                window |= tail >> code.bits.size();
                uint32_t value = 0xffff;
                ASSERT_EQ(WalkHuffmanTree(t, window, value), static_cast<int>(code.bits.size()))
                    << "table " << ref.number << " code " << code.bits;
                ASSERT_EQ(value, code.value) << "table " << ref.number << " code " << code.bits;
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 3 * (1410 + 7 * 256 + 7 * 256));
    EXPECT_TRUE(jumpSeen) << "the large trees are expected to need jumps";
}

// The lookup that starts each code gives what the walk gives, for arbitrary bits.
TEST(HuffmanTables, LookupAgreesWithTheWalk)
{
    const HuffmanTables& tables = TheHuffmanTables();
    uint32_t bits = 12345;
    for (int n = 0; n < kHuffmanTableCount; ++n) {
        const HuffmanTable& t = tables[n];
        if (!t.treeLength)
            continue;
        for (int k = 0; k < 20000; ++k) {
            bits = bits * 1664525u + 1013904223u;
            const uint32_t window = k < 256 ? (static_cast<uint32_t>(k) << 24) | (bits >> 8) : bits;
            uint32_t walked = 0, looked = 0;
            ASSERT_EQ(DecodeHuffmanCode(t, window, looked), WalkHuffmanTree(t, window, walked)) << "table " << n;
            ASSERT_EQ(looked, walked) << "table " << n;
        }
    }
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

} // namespace
} // namespace lumetra::mpeg
