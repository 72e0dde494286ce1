#pragma once
// The layer III Huffman code words as listed in the reference data
// (resources/generators/mpeg-audio/huffman_tables.json), for checking the
// decoding trees against them and for encoding test data.

#include "bit_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lumetra::mpeg::test {

struct ReferenceCode {
    std::string bits; // "0"/"1", first bit first
    uint32_t value;   // x * 16 + y, or 8v + 4w + 2x + y for tables 32 and 33
};

struct ReferenceTable {
    int number = -1;
    int xlen = 0, ylen = 0, linbits = 0;
    int sameCodesAs = -1;
    std::vector<ReferenceCode> codes; // empty for tables sharing another's codes
};

// All 34 tables, indexed by number; fails the calling test when the file
// cannot be read.
const std::vector<ReferenceTable>& ReferenceTables();

} // namespace lumetra::mpeg::test
