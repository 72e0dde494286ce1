#include "mpeg/allocation_table.h"
#include "mpeg/embedded_text.h"
#include "mpeg/synthesis_window.h"
#include "mpeg/table_report.h"
#include "mpeg/tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace lumetra::mpeg {
namespace {

TEST(AllocationTables, NumbersOutsideTheRangeReadTableZero)
{
    AllocationTable t;
    EXPECT_EQ(ReadAllocationTable(7, t), 27);
    EXPECT_EQ(ReadAllocationTable(-1, t), 27);
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
