#pragma once
// The station directory reply and the station record (".rdl"), read into
// values. Pure: no fetching, no settings, no list control.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumetra::web {

inline constexpr int kDefaultStationPort = 3456;
inline constexpr size_t kNodeTextLimit = 255;
inline constexpr size_t kAddressHexLimit = 19;

struct StationNode {
    std::string text;       // display text
    std::string addressHex; // the address token as it came, for the record request
    int level = 0;          // length of the line's prefix token
    bool isCategory = false;
    bool expanded = false;
    bool greyed = false;   // speed token ended in "x": drawn grey
    int stationIndex = -1; // among stations that passed the speed filter
};

struct DirectoryMessage {
    int id = 0;
    std::string text;
};

struct VersionOffer {
    std::string version;
    std::string downloadUrl;
};

struct DirectoryReply {
    std::vector<StationNode> nodes; // in directory order, filtered by speed
    int stationCount = 0;
    std::optional<int> autoRefreshSeconds;
    std::vector<DirectoryMessage> messages; // only those with a text colon
    std::vector<VersionOffer> versions;
};

// Reads station and category lines up to "end of list", then the trailer up to
// "end of all". Stations faster than `highestSpeed` are dropped. Lines without
// a prefix token carry no row and are skipped.
DirectoryReply ParseDirectoryReply(std::string_view text, int highestSpeed);

// Whether the offered version differs from ours, compared over all but the
// offered text's last character.
bool VersionDiffers(std::string_view offered, std::string_view ours);

struct StationAddressBytes {
    int bytes[4] = {0, 0, 0, 0};
    std::optional<int> port;
};
// "a.b.c.d" or "a.b.c.d:port" (decimal); nothing for anything else.
std::optional<StationAddressBytes> ParseDottedAddress(std::string_view text);
std::string FormatDottedAddress(const StationAddressBytes& address);

struct StationRecord {
    std::string email;
    std::string webUrl;
    std::string description;
    std::string category;
    std::string location;
    std::optional<StationAddressBytes> address;
};

// Reads "Key:value" lines until a line beginning with "end of stat". Values
// are cut to their display fields.
StationRecord ParseStationRecord(std::string_view text);

// The node text with its address replaced: prefix, the new address, then what
// followed the old address.
std::string ReplaceNodeAddress(const std::string& text, const StationAddressBytes& address);

// The part of a node text after its fourth space (the station name), at most 255.
std::string StationNameOf(const std::string& text);

} // namespace lumetra::web
