#pragma once
// The 34 layer III Huffman code tables (0..31 for big values, 32 and 33 for
// count1 quadruples), read as decoding trees from the "huffdec" text.

#include "mpeg/table_report.h"

#include <cstdint>
#include <cstdio>
#include <memory>

namespace lumetra::mpeg {

// Node pair p: tree[p][0] == 0 makes a leaf whose value is tree[p][1]
// (x * 16 + y, or 8v + 4w + 2x + y for the quadruple tables); otherwise the two
// bytes are the forward distances for a 0 and a 1 bit, a distance of
// kHuffmanJump or more being followed and then looked at again.
// The first kHuffmanLookupBits bits of a code looked up at once: either a leaf
// within them, or the node where the bit-by-bit walk goes on.
inline constexpr int kHuffmanLookupBits = 8;
struct HuffmanLookupEntry {
    enum Kind : uint8_t { kLeaf, kNode, kWalk }; // kWalk: walk from the root
    uint16_t target;                             // leaf value or node index
    uint8_t bits;                                // bits used
    Kind kind;
};

struct HuffmanTable {
    char name[4] = {};
    uint32_t xlen = 0;
    uint32_t ylen = 0;
    uint32_t linbits = 0;
    uint32_t linmax = 0;
    int32_t reference = -1;             // -1: own tree data
    const uint8_t (*tree)[2] = nullptr; // nullptr when the table has no tree
    uint32_t treeLength = 0;
    const HuffmanLookupEntry* lookup = nullptr; // 2^kHuffmanLookupBits entries with the tree
};

inline constexpr int kHuffmanTableCount = 34;
inline constexpr uint8_t kHuffmanJump = 250;

class HuffmanTables {
public:
    HuffmanTables() = default;
    HuffmanTables(const HuffmanTables&) = delete;
    HuffmanTables& operator=(const HuffmanTables&) = delete;

    // Parses the text from stream. Returns the number of tables read (34), -1
    // when a table's keyword line is damaged, -2 for a table out of sequence,
    // -3 for a reference to a table of other dimensions, -4 when tree memory
    // cannot be had. Each failure adds its text to report (the last with exit
    // status -10).
    int Read(FILE* stream, TableReport* report = nullptr);

    const HuffmanTable& operator[](int i) const { return m_tables[i]; }

private:
    HuffmanTable m_tables[kHuffmanTableCount];
    std::unique_ptr<uint8_t[]> m_trees[kHuffmanTableCount];
    std::unique_ptr<HuffmanLookupEntry[]> m_lookups[kHuffmanTableCount];
};

// Reads the tables from stream and closes it; a null stream (the text is
// missing) reports exit status 1, a read that does not give 34 tables status 4,
// each with its text.
void LoadHuffmanTables(HuffmanTables& tables, FILE* stream, TableReport& report);

// The process-wide tables, read from the embedded "huffdec" text on first use,
// and what that read reported.
const HuffmanTables& TheHuffmanTables();
const TableReport& TheHuffmanTablesReport();

} // namespace lumetra::mpeg
