#include "mpeg/allocation_table.h"

#include "mpeg/embedded_text.h"

#include <cstdio>
#include <cstring>

namespace lumetra::mpeg {

int ReadAllocationTable(int number, AllocationTable& table, TableReport* report)
{
    char name[] = "alloc_0";
    if (number >= 0 && number <= 4)
        name[sizeof name - 2] = static_cast<char>('0' + number);
    std::memset(&table, 0, sizeof table);

    FILE* in = OpenEmbeddedText(name);
    if (!in) {
        if (report)
            report->Fail(std::string("Please check bit allocation table ") + name + "\n", 1);
        return 0;
    }
    char line[81];
    int sblimit = 0;
    if (std::fgets(line, sizeof line, in))
        std::sscanf(line, "%d", &sblimit);
    while (std::fgets(line, sizeof line, in)) {
        int i, j, steps, bits, grouping, quantClass;
        if (std::sscanf(line, "%d %d %d %d %d %d", &i, &j, &steps, &bits, &grouping, &quantClass) != 6)
            continue;
        // Lines outside the table's shape would index past it; they carry nothing.
        if (i < 0 || i >= 32 || j < 0 || j >= 16)
            continue;
        table.entry[i][j] = AllocationEntry{steps, bits, grouping, quantClass};
    }
    CloseEmbeddedText(in);
    return sblimit;
}

} // namespace lumetra::mpeg
