#include "playlist/cd_disc.h"
#include "engine/cd_names.h"
#include "engine/mci_sources.h"
#include "platform/drives/fixed_drives.h"

#include <mutex>

namespace lumetra::playlist {
namespace {

std::mutex g_lock;
std::function<uint32_t(const std::string&)> g_reader;

} // namespace

std::string FirstCdDrive()
{
    return engine::DefaultCdDrive();
}

uint32_t DiscSerialOf(const std::string& drive)
{
    std::function<uint32_t(const std::string&)> reader;
    {
        std::lock_guard guard(g_lock);
        reader = g_reader;
    }
    if (drive.empty())
        return 0;
    return reader ? reader(drive) : engine::CdDiscSerial(drive);
}

uint32_t FindCdSerial()
{
    return DiscSerialOf(FirstCdDrive());
}

std::string CdFileRoot(const std::string& drive)
{
    return drive.rfind("/dev/", 0) == 0 ? platform::MountPointOfDevice(drive) : std::string();
}

std::vector<std::string> CdTrackPaths(const std::string& drive)
{
    return engine::ListCdTracks(drive);
}

void SetDiscSerialReader(std::function<uint32_t(const std::string& drive)> reader)
{
    std::lock_guard guard(g_lock);
    g_reader = std::move(reader);
}

} // namespace lumetra::playlist
