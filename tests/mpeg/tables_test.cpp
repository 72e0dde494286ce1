#include "mpeg/allocation_table.h"
#include "mpeg/embedded_text.h"
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
