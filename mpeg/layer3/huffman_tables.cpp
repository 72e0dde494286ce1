#include "mpeg/layer3/huffman_tables.h"

#include "platform/resources/resources.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace lumetra::mpeg {
namespace {

void Note(TableReport* report, const char* format, unsigned n)
{
    if (!report)
        return;
    char text[96];
    std::snprintf(text, sizeof text, format, n);
    report->Note(text);
}

// Trees beyond this many nodes are refused like an allocation failure: the
// real ones have at most 512.
constexpr uint32_t kMaxTreeLength = 1u << 16;
constexpr int kLineLength = 100;

// Reads the next line that is not a comment ("#" or a control character first);
// an empty line at end of file.
void ReadKeywordLine(FILE* stream, char (&line)[kLineLength])
{
    while (std::fgets(line, sizeof line, stream)) {
        auto first = static_cast<unsigned char>(line[0]);
        if (first != '#' && first >= 0x20)
            return;
    }
    line[0] = '\0';
}

void SkipRestOfLine(FILE* stream)
{
    int c;
    do {
        c = std::fgetc(stream);
    } while (c != EOF && c != '\n');
}

// Where the walk of the tree stands after the bits of prefix (most significant
// first), as the decoder would walk it.
HuffmanLookupEntry LookupFor(const HuffmanTable& t, uint32_t prefix)
{
    uint32_t point = 0;
    for (int used = 0;; ++used) {
        if (t.tree[point][0] == 0)
            return {t.tree[point][1], static_cast<uint8_t>(used), HuffmanLookupEntry::kLeaf};
        if (used == kHuffmanLookupBits)
            return {static_cast<uint16_t>(point), static_cast<uint8_t>(used), HuffmanLookupEntry::kNode};
        const int bit = (prefix >> (kHuffmanLookupBits - 1 - used)) & 1;
        uint32_t offset;
        while ((offset = t.tree[point][bit]) >= kHuffmanJump) {
            point += offset;
            if (point >= t.treeLength)
                return {0, 0, HuffmanLookupEntry::kWalk};
        }
        point += offset;
        if (point >= t.treeLength)
            return {0, 0, HuffmanLookupEntry::kWalk};
    }
}

} // namespace

int HuffmanTables::Read(FILE* stream, TableReport* report)
{
    char line[kLineLength];
    for (int n = 0; n < kHuffmanTableCount; ++n) {
        HuffmanTable& t = m_tables[n];
        t = HuffmanTable{};
        m_trees[n].reset();
        m_lookups[n].reset();

        ReadKeywordLine(stream, line);
        char keyword[kLineLength] = {};
        char name[kLineLength] = {};
        unsigned treeLength = 0;
        if (std::sscanf(line, "%99s %99s %u %u %u %u", keyword, name, &treeLength, &t.xlen, &t.ylen, &t.linbits) < 1)
            keyword[0] = '\0';
        if (std::strcmp(keyword, ".end") == 0)
            return n;
        if (std::strcmp(keyword, ".table") != 0) {
            Note(report, "huffman table %u data corrupted\n", static_cast<unsigned>(n));
            return -1;
        }
        t.linmax = t.linbits >= 32 ? 0xffffffffu : (1u << t.linbits) - 1;
        std::snprintf(t.name, sizeof t.name, "%.3s", name);
        if (std::atoi(name) != n) {
            Note(report, "wrong table number %u\n", static_cast<unsigned>(n));
            return -2;
        }

        ReadKeywordLine(stream, line);
        unsigned number = 0;
        keyword[0] = '\0';
        std::sscanf(line, "%99s %u", keyword, &number);
        if (std::strcmp(keyword, ".reference") == 0) {
            // Only an earlier table can lend its tree.
            if (number >= static_cast<unsigned>(n) || m_tables[number].xlen != t.xlen ||
                m_tables[number].ylen != t.ylen) {
                Note(report, "wrong table %u reference\n", static_cast<unsigned>(n));
                return -3;
            }
            t.reference = static_cast<int32_t>(number);
            t.tree = m_tables[number].tree;
            t.treeLength = m_tables[number].treeLength;
            t.lookup = m_tables[number].lookup;
        } else if (std::strcmp(keyword, ".treedata") == 0) {
            uint8_t* tree = treeLength <= kMaxTreeLength ? new (std::nothrow) uint8_t[2 * treeLength + 2]() : nullptr;
            if (!tree) {
                Note(report, "heaperror at table %u\n", static_cast<unsigned>(n));
                if (report)
                    report->exitStatus = report->exitStatus.value_or(-10);
                return -4;
            }
            m_trees[n].reset(tree);
            for (unsigned i = 0; i < treeLength; ++i) {
                unsigned a = 0, b = 0;
                if (std::fscanf(stream, "%x %x", &a, &b) != 2)
                    break;
                tree[2 * i] = static_cast<uint8_t>(a);
                tree[2 * i + 1] = static_cast<uint8_t>(b);
            }
            SkipRestOfLine(stream);
            t.tree = reinterpret_cast<const uint8_t(*)[2]>(tree);
            t.treeLength = treeLength;
            if (treeLength) {
                m_lookups[n].reset(new HuffmanLookupEntry[1u << kHuffmanLookupBits]);
                for (uint32_t prefix = 0; prefix < (1u << kHuffmanLookupBits); ++prefix)
                    m_lookups[n][prefix] = LookupFor(t, prefix);
                t.lookup = m_lookups[n].get();
            }
        } else {
            Note(report, "huffman decodertable error at table %u\n", static_cast<unsigned>(n));
        }
    }
    return kHuffmanTableCount;
}

void LoadHuffmanTables(HuffmanTables& tables, FILE* stream, TableReport& report)
{
    if (!stream) {
        report.Fail("Please check huffman table 'huffdec'\n", 1);
        return;
    }
    const int count = tables.Read(stream, &report);
    std::fclose(stream);
    if (count == -4)
        return; // out of tree memory: reported with its own status
    if (count != kHuffmanTableCount)
        report.Fail("decoder table read error\n", 4);
}

namespace {

struct LoadedTables {
    HuffmanTables tables;
    TableReport report;
};

const LoadedTables& Loaded()
{
    static const LoadedTables* loaded = [] {
        auto* l = new LoadedTables;
        LoadHuffmanTables(l->tables, platform::OpenResourceStream("textfile", "huffdec"), l->report);
        return l;
    }();
    return *loaded;
}

} // namespace

const HuffmanTables& TheHuffmanTables()
{
    return Loaded().tables;
}

const TableReport& TheHuffmanTablesReport()
{
    return Loaded().report;
}

} // namespace lumetra::mpeg
