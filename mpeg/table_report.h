#pragma once
// What reading the decoder's text tables found. The decoder never shows or exits
// itself: the program shows each text in an "Error Message" box, in order, and
// exits with exitStatus when one is set (CheckDecoderTables).

#include <optional>
#include <string>
#include <vector>

namespace lumetra::mpeg {

struct TableReport {
    std::vector<std::string> messages;
    std::optional<int> exitStatus; // set when the decoder cannot run

    void Note(std::string text) { messages.push_back(std::move(text)); }
    void Fail(std::string text, int status)
    {
        Note(std::move(text));
        if (!exitStatus)
            exitStatus = status;
    }
    bool Clean() const { return messages.empty() && !exitStatus; }
};

// Reads every table the decoder uses (synthesis window, the five bit allocation
// tables, the layer III Huffman tables, which stay loaded), so decoding never
// meets a table error later. The program calls it once at start.
TableReport CheckDecoderTables();

} // namespace lumetra::mpeg
