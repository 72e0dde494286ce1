#include "mpeg/table_report.h"

#include "mpeg/allocation_table.h"
#include "mpeg/layer3/huffman_tables.h"
#include "mpeg/synthesis_window.h"

namespace lumetra::mpeg {

TableReport CheckDecoderTables()
{
    TableReport report;
    float window[512];
    ReadSynthesisWindow(window, &report);
    static AllocationTable table;
    for (int number = 0; number <= 4; ++number)
        ReadAllocationTable(number, table, &report);
    const TableReport& huffman = TheHuffmanTablesReport();
    report.messages.insert(report.messages.end(), huffman.messages.begin(), huffman.messages.end());
    if (!report.exitStatus)
        report.exitStatus = huffman.exitStatus;
    return report;
}

} // namespace lumetra::mpeg
