#include "platform/drives/cd_drive.h"
#include "platform/drives/fixed_drives.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/stat.h>

namespace lumetra::platform {
namespace {

std::mutex g_readerLock;
std::function<uint32_t(const std::string&)> g_reader;
std::function<std::vector<std::string>(const std::string&)> g_lister;

} // namespace

std::string FirstCdDrive()
{
    if (const char* images = std::getenv("LUMETRA_CDROM")) {
        std::string list(images);
        return list.substr(0, list.find(':'));
    }
    for (int n = 0; n < 10; ++n) {
        std::string device = "/dev/sr" + std::to_string(n);
        struct stat st {};
        if (::stat(device.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
            return device;
    }
    return {};
}

uint32_t DiscSerial(const std::string& drive)
{
    std::function<uint32_t(const std::string&)> reader;
    {
        std::lock_guard guard(g_readerLock);
        reader = g_reader;
    }
    return reader && !drive.empty() ? reader(drive) : 0;
}

void SetDiscSerialReader(std::function<uint32_t(const std::string& drive)> reader)
{
    std::lock_guard guard(g_readerLock);
    g_reader = std::move(reader);
}

std::vector<std::string> CdTrackPaths(const std::string& drive)
{
    std::function<std::vector<std::string>(const std::string&)> lister;
    {
        std::lock_guard guard(g_readerLock);
        lister = g_lister;
    }
    return lister && !drive.empty() ? lister(drive) : std::vector<std::string>();
}

void SetCdTrackLister(std::function<std::vector<std::string>(const std::string& drive)> lister)
{
    std::lock_guard guard(g_readerLock);
    g_lister = std::move(lister);
}

std::string CdFileRoot(const std::string& drive)
{
    if (drive.rfind("/dev/", 0) != 0)
        return {};
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    return MountPointOfDevice(text.str(), drive);
}

} // namespace lumetra::platform
