#include "layer3_reference_codes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>

namespace lumetra::mpeg::test {
namespace {

std::vector<ReferenceTable> Load()
{
    const char* source = std::getenv("LUMETRA_SOURCE_DIR");
    std::string path =
        std::string(source ? source : LUMETRA_TEST_SOURCE_DIR) + "/resources/generators/mpeg-audio/huffman_tables.json";
    std::ifstream in(path);
    std::vector<ReferenceTable> tables(34);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path;
        return tables;
    }
    const std::regex number(R"re("(table|xlen|ylen|linbits|same_codes_as)": (\d+))re");
    const std::regex pair(R"re(\{"x": (\d+), "y": (\d+), "code": "([01]+)"\})re");
    const std::regex quad(R"re("value": (\d+), "code": "([01]+)")re");
    ReferenceTable* current = nullptr;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_search(line, m, pair)) {
            current->codes.push_back({m[3], static_cast<uint32_t>(std::stoi(m[1]) * 16 + std::stoi(m[2]))});
        } else if (std::regex_search(line, m, quad)) {
            current->codes.push_back({m[2], static_cast<uint32_t>(std::stoi(m[1]))});
        } else if (std::regex_search(line, m, number)) {
            const int v = std::stoi(m[2]);
            if (m[1] == "table") {
                if (v < 0 || v >= 34)
                    continue;
                current = &tables[v];
                current->number = v;
            } else if (current && m[1] == "xlen") {
                current->xlen = v;
            } else if (current && m[1] == "ylen") {
                current->ylen = v;
            } else if (current && m[1] == "linbits") {
                current->linbits = v;
            } else if (current && m[1] == "same_codes_as") {
                current->sameCodesAs = v;
            }
        }
    }
    return tables;
}

} // namespace

const std::vector<ReferenceTable>& ReferenceTables()
{
    static const std::vector<ReferenceTable> tables = Load();
    return tables;
}

} // namespace lumetra::mpeg::test
