#include "web/station_directory.h"

#include "platform/dialogs/message_box.h"
#include "platform/loop/main_loop.h"
#include "platform/regular_file.h"
#include "settings/registry_values.h"
#include "settings/settings.h"
#include "web/http_get.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>

namespace lumetra::web {
namespace {

constexpr int kLevelTable = 100;
constexpr std::size_t kStationFileLimit = 4096;

int64_t NowSeconds()
{
    using namespace std::chrono;
    return duration_cast<seconds>(steady_clock::now().time_since_epoch()).count();
}

// Whether rows below a category are shown: T[L] == L shows a row of level L.
class VisibilityTable {
public:
    explicit VisibilityTable(int startLevel)
    {
        m_table.fill(0);
        m_table[0] = -1;
        if (startLevel < kLevelTable)
            m_table[static_cast<size_t>(startLevel)] = startLevel;
    }
    bool Shown(int level) const
    {
        return level > 0 && level < kLevelTable && m_table[static_cast<size_t>(level)] == level;
    }
    void AfterCategory(int level, bool expandedAndShown)
    {
        if (level + 1 < kLevelTable)
            m_table[static_cast<size_t>(level + 1)] = expandedAndShown ? level + 1 : -1;
    }

private:
    std::array<int, kLevelTable> m_table;
};

} // namespace

StationDirectory::StationDirectory(StationHost& host, HttpFetcher& fetcher) : m_host(host), m_fetcher(fetcher) {}

StationDirectory::~StationDirectory() = default;

bool StationDirectory::RefreshDue(int64_t nowSeconds) const
{
    return nowSeconds - m_lastFetchSeconds > m_autoRefreshSeconds || nowSeconds < m_lastFetchSeconds;
}

std::string StationDirectory::UserId()
{
    // An identifier of this installation, made once and kept in the settings.
    std::string path = std::string(settings::kProgramKey) + "Settings\\UserID";
    std::string id;
    settings::ReadRegistryString(settings::RegistryRoot::CurrentUser, path, id);
    if (id.empty()) {
        std::random_device random;
        char text[16];
        std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(random()));
        id = text;
        settings::WriteRegistryString(settings::RegistryRoot::CurrentUser, path + "=" + id);
    }
    return id;
}

void StationDirectory::FetchStationDirectory()
{
    if (m_running)
        return;
    m_running = true;
    std::string reply;
    int got = m_fetcher.Get("Scanning radio stations...", "", 80,
                            "/cgi-local/kvo_list_stations.prl?DIR=stations&INFO=0&USERID=" + UserId(), reply,
                            kDirectoryCapacity);
    int savedTop = m_topRow;
    m_rows.clear();
    m_selected = -1;

    const settings::Settings& config = settings::CurrentSettings();
    const settings::ConnectionSpeed& speed = settings::ConnectionSpeedAt(config.connectionSpeed);
    DirectoryReply parsed = got == 1 ? ParseDirectoryReply(reply, speed.highestStationSpeed) : DirectoryReply{};

    // Expansion lives on through category texts.
    std::map<std::string, bool> previouslyExpanded;
    for (const auto& node : m_nodes)
        if (node->isCategory && node->expanded)
            previouslyExpanded[node->text] = true;

    std::vector<std::unique_ptr<StationNode>> nodes;
    VisibilityTable table(1);
    for (StationNode& parsedNode : parsed.nodes) {
        auto node = std::make_unique<StationNode>(std::move(parsedNode));
        if (node->isCategory)
            node->expanded = previouslyExpanded.count(node->text) > 0;
        bool shown = table.Shown(node->level);
        if (shown)
            m_rows.push_back(node.get());
        if (node->isCategory)
            table.AfterCategory(node->level, node->expanded && shown);
        nodes.push_back(std::move(node));
    }
    if (parsed.stationCount == 0) {
        auto message = std::make_unique<StationNode>();
        message->level = 1;
        message->isCategory = true;
        message->text = got == 1 ? "+ No Live Stations for " + std::string(speed.name)
                                 : std::string("+ Failed to get the station directory.");
        m_rows.insert(m_rows.begin(), message.get());
        nodes.insert(nodes.begin(), std::move(message));
    }
    if (parsed.autoRefreshSeconds)
        m_autoRefreshSeconds = *parsed.autoRefreshSeconds;
    for (const DirectoryMessage& message : parsed.messages) {
        if (message.id > settings::LastMessageId()) {
            settings::StoreLastMessageId(message.id);
            platform::ShowMessageBox("Message from Lumetra Software", message.text);
        }
    }
    for (const VersionOffer& offer : parsed.versions) {
        if (m_versionAsked || !VersionDiffers(offer.version, settings::kProgramVersion))
            continue;
        m_versionAsked = true;
        std::string text = "A newer version is available for download, do you want to download it now?\n\n"
                           "Current version: " +
                           std::string(settings::kProgramVersion) + "\nNew version: " + offer.version + "\n";
        if (platform::ShowMessageBox("New version", text, platform::MessageButtons::YesNo) == platform::kAnswerYes)
            m_host.OpenAddress(offer.downloadUrl);
    }
    m_lastFetchSeconds = NowSeconds();
    m_running = false;
    m_topRow = std::min<int>(savedTop, std::max<int>(0, static_cast<int>(m_rows.size()) - 1));
    // The previous directory goes only now: the rows above came from it.
    m_nodes = std::move(nodes);
}

int StationDirectory::ActivateDirectoryRow()
{
    if (m_selected < 0 || m_selected >= static_cast<int>(m_rows.size()))
        return 0;
    int row = m_selected;
    StationNode* node = m_rows[static_cast<size_t>(row)];
    bool remember = settings::CurrentSettings().rememberExpanded != 0;
    if (node->isCategory && node->expanded) {
        node->expanded = false;
        auto first = m_rows.begin() + row + 1;
        auto last = first;
        while (last != m_rows.end() && (*last)->level > node->level) {
            if (!remember && (*last)->isCategory)
                (*last)->expanded = false;
            ++last;
        }
        m_rows.erase(first, last);
        m_selected = -1;
        return 0;
    }
    if (node->isCategory) {
        node->expanded = true;
        auto it = std::find_if(m_nodes.begin(), m_nodes.end(), [node](const auto& n) { return n.get() == node; });
        std::vector<StationNode*> inserted;
        if (it != m_nodes.end()) {
            VisibilityTable table(node->level + 1);
            for (++it; it != m_nodes.end() && (*it)->level > node->level; ++it) {
                StationNode* child = it->get();
                bool shown = remember ? table.Shown(child->level) : child->level == node->level + 1;
                if (shown)
                    inserted.push_back(child);
                if (remember && child->isCategory)
                    table.AfterCategory(child->level, child->expanded && shown);
            }
        }
        m_rows.insert(m_rows.begin() + row + 1, inserted.begin(), inserted.end());
        m_topRow = row;
        m_selected = -1;
        return 0;
    }
    m_currentStation = node->stationIndex;
    OpenStation(*node, std::nullopt);
    return 1;
}

int StationDirectory::OpenStationByIndex(int index)
{
    if (index < 0)
        return 0;
    for (const auto& node : m_nodes) {
        if (!node->isCategory && node->stationIndex == index) {
            m_currentStation = index;
            OpenStation(*node, std::nullopt);
            return 1;
        }
    }
    return 0;
}

std::optional<StationFileEntry> ReadStationFile(const std::string& path)
{
    // The address and name are on the first line; a longer one is no station file.
    std::optional<std::string> text = platform::ReadRegularFile(path, kStationFileLimit);
    if (!text || text->empty())
        return std::nullopt;
    std::string line = text->substr(0, text->find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    size_t space = line.find(' ');
    std::optional<StationAddressBytes> address = ParseDottedAddress(line.substr(0, space));
    if (!address)
        return std::nullopt;
    std::string name = space == std::string::npos ? std::string("no name") : line.substr(space + 1);
    StationFileEntry entry;
    entry.address = FormatDottedAddress(*address);
    char hex[32];
    if (address->port)
        std::snprintf(hex, sizeof hex, "%02X%02X%02X%02X.%d", address->bytes[0], address->bytes[1], address->bytes[2],
                      address->bytes[3], *address->port);
    else
        std::snprintf(hex, sizeof hex, "%02X%02X%02X%02X", address->bytes[0], address->bytes[1], address->bytes[2],
                      address->bytes[3]);
    entry.node.text = ("* " + entry.address + " 24 ?/? " + name).substr(0, kNodeTextLimit);
    entry.node.addressHex = hex;
    entry.node.level = 1;
    return entry;
}

void StationDirectory::OpenStationFile(const std::string& path)
{
    if (std::optional<StationFileEntry> entry = ReadStationFile(path)) {
        m_fileNode = std::make_unique<StationNode>(entry->node);
        OpenStation(*m_fileNode, entry->address);
    }
    m_running = false;
}

void StationDirectory::FetchStationInfo(StationNode& node)
{
    m_host.SetStationName(StationNameOf(node.text));
    std::string reply;
    std::string path = "/cgi-local/kvo_get_station.prl?IPHEX=" + node.addressHex + ".rdl";
    // Another fetch may be running below us on this thread; let it finish or give up.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFetchTimeoutMs + 2000);
    int got;
    while ((got = m_fetcher.Get("Getting station information...", "", 80, path, reply, kStationRecordCapacity)) == -1 &&
           std::chrono::steady_clock::now() < deadline)
        platform::TheMainLoop().ProcessEvents(50);
    if (got != 1)
        return;
    StationRecord record = ParseStationRecord(reply);
    m_host.SetStationRecord(record);
    if (record.address)
        node.text = ReplaceNodeAddress(node.text, *record.address);
}

void StationDirectory::OpenStation(StationNode& node, const std::optional<std::string>& fileAddress)
{
    if (m_host.ReceiverOpen())
        m_host.CloseReceiver();
    m_host.Wait(kReceiverCloseWaitMs);
    m_host.ClearDisplay();
    FetchStationInfo(node);
    // A directory row's text begins with the (possibly corrected) address after its prefix.
    std::string addressText;
    if (fileAddress) {
        addressText = *fileAddress;
    } else if (size_t space = node.text.find(' '); space != std::string::npos) {
        addressText = node.text.substr(space + 1);
    }
    m_host.OpenReceiver(addressText, StationNameOf(node.text));
    m_host.ReceiverChanged();
}

} // namespace lumetra::web
