#include "mpeg/layer3/huffman_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace lumetra::mpeg {
namespace {

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

} // namespace
} // namespace lumetra::mpeg
