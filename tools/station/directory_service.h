#pragma once
// The directory web service of lumetra-station: HTTP/1.0 on loopback serving
// the station directory, station records and the link list for the stations
// this process runs. One request per connection, answered and closed.

#include "tools/station/directory_listing.h"

#include <QObject>
#include <QTcpServer>

#include <functional>
#include <string>
#include <vector>

namespace lumetra::station {

inline constexpr uint16_t kDefaultDirectoryServicePort = 8642;

struct DirectoryServiceOptions {
    bool enabled = false;
    std::string address = "127.0.0.1";
    uint16_t port = kDefaultDirectoryServicePort; // 0: any free port
    DirectoryExtras extras;
};

// Takes the service's own options out of argv (so the station options parser
// never sees them): --directory-port N, --no-directory, --directory-message
// ID:TEXT, --directory-version VERSION:URL, --directory-refresh SECONDS.
// The service is enabled by --demo or --directory-port. False with a message
// for a bad value.
bool ExtractDirectoryOptions(int& argc, char** argv, DirectoryServiceOptions& options, std::string& error);

class DirectoryService : public QObject {
public:
    DirectoryService(DirectoryServiceOptions options, std::function<std::vector<DirectoryStation>()> stations);

    // Listens; false with a message when the port cannot be had.
    bool Start(std::string& error);
    uint16_t Port() const { return m_server.serverPort(); }

private:
    void OnConnection();

    DirectoryServiceOptions m_options;
    std::function<std::vector<DirectoryStation>()> m_stations;
    QTcpServer m_server;
};

} // namespace lumetra::station
