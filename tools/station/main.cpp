// lumetra-station: radio stations for the receiver, on loopback by default.
// `lumetra-station --demo` serves the demo set on 127.0.0.1:3456 and up.

#include "tools/station/datagram_log.h"
#include "tools/station/directory_service.h"
#include "tools/station/signal_watcher.h"
#include "tools/station/station.h"
#include "tools/station/station_config.h"
#include "tools/tool_options.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

using namespace lumetra::station;

int main(int argc, char** argv)
{
    if (auto status = lumetra::tools::StandardOption(argc, argv, "lumetra-station", StationUsage()))
        return *status;
    QCoreApplication app(argc, argv);
    StationSetConfig config;
    DirectoryServiceOptions directory;
    std::string error;
    bool help = false;
    if (!ExtractDirectoryOptions(argc, argv, directory, error) ||
        !ParseStationArguments(argc, argv, config, error, help)) {
        return lumetra::tools::UsageError("lumetra-station", error.c_str(), StationUsage());
    }
    if (help) {
        std::printf("%s", StationUsage());
        return 0;
    }
    DatagramLog log;
    if (!config.logPath.empty() && !log.Open(config.logPath, config.logSent)) {
        std::fprintf(stderr, "lumetra-station: cannot write %s\n", config.logPath.c_str());
        return 1;
    }

    std::vector<std::unique_ptr<Station>> stations;
    for (std::size_t k = 0; k < config.stations.size(); ++k) {
        auto station = std::make_unique<Station>(config.stations[k], config.logPath.empty() ? nullptr : &log,
                                                 config.seed + static_cast<uint32_t>(k));
        if (!station->Start(error)) {
            std::fprintf(stderr, "lumetra-station: %s\n", error.c_str());
            return 1;
        }
        stations.push_back(std::move(station));
    }

    // The directory lists the stations as they are bound (a port 0 became a real one).
    std::unique_ptr<DirectoryService> service;
    if (directory.enabled) {
        service = std::make_unique<DirectoryService>(directory, [&stations] {
            std::vector<DirectoryStation> list;
            for (const auto& s : stations) {
                const StationConfig& c = s->Config();
                list.push_back({c.name, c.address, s->BoundPort(), c.category, c.speed, c.description});
            }
            return list;
        });
        if (!service->Start(error)) {
            std::fprintf(stderr, "lumetra-station: %s\n", error.c_str());
            return 1;
        }
        std::printf("directory on http://%s:%u/\n", directory.address.c_str(), service->Port());
    }

    SignalWatcher watcher(
        [&](bool paused) {
            for (auto& s : stations)
                s->SetPaused(paused);
        },
        [&] { app.quit(); });
    if (config.durationSeconds > 0)
        QTimer::singleShot(static_cast<int>(config.durationSeconds * 1000), &app, &QCoreApplication::quit);
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
