#pragma once
// The station directory: fetched from the directory server, filtered by the
// connection speed, shown as a tree of categories in the station list, and the
// way stations are opened (from a row, by index, from a station file).

#include "web/directory_reply.h"
#include "web/station_host.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumetra::web {

class HttpFetcher;

// A station file's first line: the node made up for it and the address text.
struct StationFileEntry {
    StationNode node;
    std::string address;
};
// Nothing when the file cannot be read or its first line has no readable address.
std::optional<StationFileEntry> ReadStationFile(const std::string& path);

inline constexpr size_t kDirectoryCapacity = 1048576;
inline constexpr size_t kStationRecordCapacity = 16384;
inline constexpr int kDefaultAutoRefreshSeconds = 60;
inline constexpr int kReceiverCloseWaitMs = 500;

class StationDirectory {
public:
    StationDirectory(StationHost& host, HttpFetcher& fetcher);
    ~StationDirectory();

    void FetchStationDirectory();
    // Acts on the selected row; 1 when a station was opened.
    int ActivateDirectoryRow();
    int OpenStationByIndex(int index);
    // The caller sets the running flag first (start-up does); this clears it.
    void OpenStationFile(const std::string& path);
    void FetchStationInfo(StationNode& node);

    // The station list control.
    const std::vector<StationNode*>& Rows() const { return m_rows; }
    void Select(int row) { m_selected = row; }
    int Selected() const { return m_selected; }
    int TopRow() const { return m_topRow; }
    void SetTopRow(int row) { m_topRow = row; }

    bool Running() const { return m_running; }
    void SetRunning(bool running) { m_running = running; }
    int AutoRefreshSeconds() const { return m_autoRefreshSeconds; }
    int64_t LastFetchSeconds() const { return m_lastFetchSeconds; }
    // More seconds than the refresh interval since the last fetch, or the clock wrapped.
    bool RefreshDue(int64_t nowSeconds) const;
    int CurrentStation() const { return m_currentStation; }
    void SetCurrentStation(int index) { m_currentStation = index; }
    bool VersionAsked() const { return m_versionAsked; }

private:
    void OpenStation(StationNode& node, const std::optional<std::string>& fileAddress);
    std::string UserId();

    StationHost& m_host;
    HttpFetcher& m_fetcher;
    std::vector<std::unique_ptr<StationNode>> m_nodes;
    std::vector<StationNode*> m_rows;
    int m_selected = -1;
    int m_topRow = 0;
    bool m_running = false;
    int64_t m_lastFetchSeconds = 0;
    int m_autoRefreshSeconds = kDefaultAutoRefreshSeconds;
    bool m_versionAsked = false;
    int m_currentStation = -1;
    std::unique_ptr<StationNode> m_fileNode; // the node made up for a station file
};

} // namespace lumetra::web
