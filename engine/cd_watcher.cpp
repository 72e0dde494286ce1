#include "engine/cd_watcher.h"
#include "engine/cd_names.h"
#include "engine/mci_sources.h"

#include <cstdlib>

namespace lumetra::engine {

std::vector<std::string> WatchedCdDrives()
{
    std::vector<std::string> drives;
    if (const char* images = std::getenv("LUMETRA_CDROM")) {
        std::string list(images);
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find(':', start);
            if (end == std::string::npos)
                end = list.size();
            if (end > start)
                drives.push_back(list.substr(start, end - start));
            start = end + 1;
        }
        return drives;
    }
    if (std::string drive = DefaultCdDrive(); !drive.empty())
        drives.push_back(drive);
    return drives;
}

CdWatcher::CdWatcher(std::vector<std::string> drives, SerialOf serialOf)
    : m_drives(drives.empty() ? WatchedCdDrives() : std::move(drives)),
      m_serialOf(serialOf ? std::move(serialOf) : SerialOf(CdDiscSerial))
{
}

void CdWatcher::Poll()
{
    for (const std::string& drive : m_drives) {
        uint32_t serial = m_serialOf(drive);
        uint32_t& known = m_serials[drive];
        if (serial == known)
            continue;
        uint32_t old = known;
        known = serial;
        if (!m_primed)
            continue;
        if (old != 0) {
            for (auto& hook : m_removal)
                hook(drive);
        }
        if (serial != 0) {
            for (auto& hook : m_arrival)
                hook(drive);
        }
    }
    m_primed = true;
}

CdWatcher& TheCdWatcher()
{
    static CdWatcher watcher;
    return watcher;
}

} // namespace lumetra::engine
