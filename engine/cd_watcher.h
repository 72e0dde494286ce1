#pragma once
// Notices a disc arriving in or leaving a CD drive or image by asking each drive
// for its disc serial once a second (the main window's timer calls Poll). A
// different serial counts as the old disc leaving and the new one arriving.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace lumetra::engine {

class CdWatcher {
public:
    using SerialOf = std::function<uint32_t(const std::string& drive)>;
    using Hook = std::function<void(const std::string& drive)>;

    // drives: WatchedCdDrives() when empty.
    explicit CdWatcher(std::vector<std::string> drives = {}, SerialOf serialOf = {});

    void AddArrivalHook(Hook hook) { m_arrival.push_back(std::move(hook)); }
    void AddRemovalHook(Hook hook) { m_removal.push_back(std::move(hook)); }
    // The first call only learns what is there; later calls report changes.
    void Poll();

private:
    std::vector<std::string> m_drives;
    SerialOf m_serialOf;
    std::map<std::string, uint32_t> m_serials;
    bool m_primed = false;
    std::vector<Hook> m_arrival;
    std::vector<Hook> m_removal;
};

// The drives the player watches: every image of LUMETRA_CDROM when it is set, else
// the system's CD drive.
std::vector<std::string> WatchedCdDrives();

// The process's watcher; the player's timer polls it and the playlist and library
// add their own hooks.
CdWatcher& TheCdWatcher();

} // namespace lumetra::engine
