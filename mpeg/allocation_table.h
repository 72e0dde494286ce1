#pragma once
// Layer II bit allocation tables, parsed from the embedded texts "alloc_0" to
// "alloc_4": subband limit on the first line, then one line
// "subband allocation steps bits grouping class" per pair the subband uses.

#include "mpeg/table_report.h"

#include <cstdint>

namespace lumetra::mpeg {

struct AllocationEntry {
    int32_t steps;
    int32_t bits;     // entry 0: width of the subband's allocation field
    int32_t grouping; // 3: three separate codes, 1: one code for three samples
    int32_t quantClass;
};

struct AllocationTable {
    AllocationEntry entry[32][16];
};

// Fills table (cleared first) from "alloc_<number>" ("alloc_0" for a number
// outside 0..4) and returns its subband limit. A missing table returns 0 and
// reports "Please check bit allocation table <name>" with exit status 1.
int ReadAllocationTable(int number, AllocationTable& table, TableReport* report = nullptr);

} // namespace lumetra::mpeg
