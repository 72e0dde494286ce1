// Directory replies, station records and stream playlists from a hostile server.
#include "web/directory_reply.h"
#include "web/stream_playlist.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    using namespace lumetra::web;
    int speed = size > 0 ? data[0] * 4 : 24;
    DirectoryReply reply = ParseDirectoryReply(text, speed);
    int index = 0;
    for (const StationNode& node : reply.nodes) {
        if (node.text.size() > kNodeTextLimit || node.addressHex.size() > kAddressHexLimit)
            __builtin_trap();
        if (!node.isCategory && node.stationIndex != index++)
            __builtin_trap();
        StationNameOf(node.text);
    }
    StationRecord record = ParseStationRecord(text);
    if (record.description.size() > 1023 || record.category.size() > 127)
        __builtin_trap();
    if (record.address)
        ReplaceNodeAddress(text, *record.address);
    FindStreamAddress(text);
    for (const VersionOffer& offer : reply.versions)
        VersionDiffers(offer.version, "1.31");
    return 0;
}
