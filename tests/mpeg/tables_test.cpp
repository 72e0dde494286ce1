#include "mpeg/allocation_table.h"
#include "mpeg/embedded_text.h"
#include "mpeg/layer2_decoder.h"
#include "mpeg/synthesis_window.h"
#include "mpeg/table_report.h"
#include "mpeg/tables.h"
#include "platform/resources/resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

namespace lumetra::mpeg {
namespace {

std::string ResourceText(const char* name)
{
    auto data = platform::FindResource("textfile", name);
    if (!data)
        return {};
    return std::string(reinterpret_cast<const char*>(data->data()), data->size());
}

struct AllocCase {
    int number;
    int sblimit;
    int nbal0;     // allocation field width of subband 0
    int nbalLast;  // ... of the last subband
    int maxSteps0; // steps of the highest allocation of subband 0
};

class AllocationTables : public ::testing::TestWithParam<AllocCase> {};

TEST_P(AllocationTables, ParseToTheirLimitAndLeaveTheRestEmpty)
{
    const AllocCase c = GetParam();
    AllocationTable t;
    std::memset(&t, 0x55, sizeof t);
    EXPECT_EQ(ReadAllocationTable(c.number, t), c.sblimit);
    EXPECT_EQ(t.entry[0][0].bits, c.nbal0);
    EXPECT_EQ(t.entry[c.sblimit - 1][0].bits, c.nbalLast);
    EXPECT_EQ(t.entry[0][(1 << c.nbal0) - 1].steps, c.maxSteps0);
    for (int sb = c.sblimit; sb < 32; ++sb)
        for (int j = 0; j < 16; ++j)
            ASSERT_EQ(t.entry[sb][j].steps | t.entry[sb][j].bits | t.entry[sb][j].grouping, 0) << sb << " " << j;
    // Grouped codes (one code for three samples) exist only for 3, 5 and 9 steps.
    for (int sb = 0; sb < c.sblimit; ++sb)
        for (int j = 1; j < (1 << t.entry[sb][0].bits); ++j) {
            const AllocationEntry& e = t.entry[sb][j];
            ASSERT_TRUE(e.grouping == 1 || e.grouping == 3);
            if (e.grouping == 1) {
                ASSERT_TRUE(e.steps == 3 || e.steps == 5 || e.steps == 9);
            }
        }
}

INSTANTIATE_TEST_SUITE_P(Tables, AllocationTables,
                         ::testing::Values(AllocCase{0, 27, 4, 2, 65535}, AllocCase{1, 30, 4, 2, 65535},
                                           AllocCase{2, 8, 4, 3, 32767}, AllocCase{3, 12, 4, 3, 32767},
                                           AllocCase{4, 30, 4, 2, 16383}));

TEST(AllocationTables, NumbersOutsideTheRangeReadTableZero)
{
    AllocationTable t;
    EXPECT_EQ(ReadAllocationTable(7, t), 27);
    EXPECT_EQ(ReadAllocationTable(-1, t), 27);
}

TEST(AllocationTables, TextHasOneCrLfLinePerAllocation)
{
    const std::string text = ResourceText("ALLOC_2");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.size(), 1175u);
    EXPECT_EQ(text.substr(0, 3), "8\r\n");
    const std::regex line("(\\d+ \\d+ \\d+ \\d+ \\d \\d+\\r\\n)+");
    EXPECT_TRUE(std::regex_match(text.substr(3), line));
    EXPECT_EQ(ResourceText("alloc_3").size(), 1632u);
}

TEST(SynthesisWindowText, HasFourEntriesPerLineAndBlankLines)
{
    const std::string text = ResourceText("dewindow");
    EXPECT_EQ(text.size(), 10876u);
    const std::regex line("(D\\[[ \\d]{3}\\] = -?\\d\\.\\d{9}){4}");
    std::size_t pos = 0;
    for (int n = 0; n < 128; ++n) {
        const std::size_t end = text.find('\n', pos);
        ASSERT_NE(end, std::string::npos) << n;
        ASSERT_TRUE(std::regex_match(text.substr(pos, end - pos), line)) << n;
        ASSERT_EQ(text.substr(end, 3), "\n \n") << n;
        pos = end + 3;
    }
    EXPECT_EQ(pos, text.size());
}

struct TableChoice {
    int id, samplingFrequency, bitrateIndex, channels, table;
};

class Layer2TableChoice : public ::testing::TestWithParam<TableChoice> {};

TEST_P(Layer2TableChoice, FollowsRateAndBitratePerChannel)
{
    const TableChoice c = GetParam();
    EXPECT_EQ(AllocationTableNumber(c.id, c.samplingFrequency, c.bitrateIndex, c.channels), c.table);
}

// Sampling frequency index: MPEG-1 0 = 44.1, 1 = 48, 2 = 32 kHz. Bitrate index
// (layer II): 4 = 64, 6 = 96, 7 = 112, 8 = 128, 10 = 192, 14 = 384 kbit/s.
INSTANTIATE_TEST_SUITE_P(Cases, Layer2TableChoice,
                         ::testing::Values(TableChoice{1, 1, 10, 2, 0}, // 48 kHz, 96 per channel
                                           TableChoice{1, 0, 10, 2, 1}, // 44.1 kHz, 96 per channel
                                           TableChoice{1, 2, 4, 2, 3},  // 32 kHz, 32 per channel
                                           TableChoice{1, 1, 4, 2, 2},  // 48 kHz, 32 per channel
                                           TableChoice{1, 1, 2, 1, 2},  // mono 48 kbit/s at 48 kHz
                                           TableChoice{1, 0, 7, 2, 0},  // 56 per channel
                                           TableChoice{1, 0, 14, 2, 1}, // 192 per channel
                                           TableChoice{1, 2, 14, 2, 1}, // 32 kHz, 192 per channel
                                           TableChoice{1, 1, 14, 2, 0}, // 48 kHz, 192 per channel
                                           TableChoice{1, 2, 2, 1, 3},  // mono 48 kbit/s at 32 kHz
                                           TableChoice{0, 0, 8, 2, 4},  // MPEG-2 LSF always table 4
                                           TableChoice{0, 2, 1, 1, 4}));

// Damaged or missing tables, presented instead of the embedded ones.
FILE* NoTables(const char*)
{
    return nullptr;
}

FILE* BadWindow(const char* name)
{
    static char text[] = "D[  4]= 0.000000000 D[  1]=-0.000015259 D[  2]=-0.000015259 D[  3]=-0.000015259\r\n \r\n";
    if (std::strcmp(name, "dewindow") == 0)
        return fmemopen(text, sizeof text - 1, "r");
    return nullptr;
}

// Each damaged table is reported with its text and exit status; nothing exits.
TEST(TableReports, DamagedTablesReportTheirTextAndStatus)
{
    const struct {
        FILE* (*opener)(const char*);
        bool window;
        const char* text;
    } cases[] = {{NoTables, false, "Please check bit allocation table alloc_3\n"},
                 {NoTables, true, "Please check synthesis window table 'dewindow'\n"},
                 {BadWindow, true, "Check index in synthesis window table\n"}};
    for (const auto& c : cases) {
        SetEmbeddedTextOpener(c.opener);
        TableReport report;
        if (c.window) {
            float d[512];
            EXPECT_FALSE(ReadSynthesisWindow(d, &report));
        } else {
            AllocationTable t;
            EXPECT_EQ(ReadAllocationTable(3, t, &report), 0);
        }
        SetEmbeddedTextOpener(nullptr);
        EXPECT_EQ(report.messages, std::vector<std::string>{c.text});
        EXPECT_EQ(report.exitStatus, std::optional<int>(1));
    }
    EXPECT_TRUE(CheckDecoderTables().Clean());
}

} // namespace
} // namespace lumetra::mpeg
