#pragma once
// The directory web service's documents, made from the stations being served:
// the station directory, one station record per station, and the link list.
// Pure: request target in, status and body out.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumetra::station {

struct DirectoryStation {
    std::string name;
    std::string address; // dotted IPv4
    uint16_t port = 3456;
    std::string category;
    std::string speed; // "16k": its leading number is the directory speed
    std::string description;
};

struct DirectoryExtras {
    int autoRefreshSeconds = 60;
    int messageId = 0; // 0: no message
    std::string messageText;
    std::string version; // empty: no version line
    std::string versionUrl;
    std::vector<std::string> links; // empty: the built-in ones
};

struct DirectoryResponse {
    int status = 404;
    std::string body;
};

std::string StationListing(const std::vector<DirectoryStation>& stations, const DirectoryExtras& extras);
// The ".rdl" record of the station whose address token is `iphex`
// ("7F000001", "7F000001:3457" or "7F000001.3457"); empty when none matches.
std::string StationRecordText(const std::vector<DirectoryStation>& stations, std::string_view iphex);
std::string LinkListing(const DirectoryExtras& extras);

// Answers a request target: a path with query, or an absolute "http://" URL as
// a proxy forwards it.
DirectoryResponse RespondToDirectoryRequest(std::string_view target, const std::vector<DirectoryStation>& stations,
                                            const DirectoryExtras& extras);

} // namespace lumetra::station
