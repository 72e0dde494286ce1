#pragma once
// The machine's fixed drives: mount points of local disk file systems.

#include <string>
#include <string_view>
#include <vector>

namespace lumetra::platform {

// LUMETRA_DRIVES ("dir:dir", empty entries skipped) when it is set; else the mount
// points of local disk file systems from /proc/self/mountinfo, sorted, each once.
// Every entry ends with "/".
std::vector<std::string> FixedDrives();

// The mount points of disk file systems in a mountinfo text. Pure.
std::vector<std::string> DiskMountPoints(std::string_view mountInfo);
// The mount point of a block device ("/dev/sr0") in a mountinfo text, empty when none.
std::string MountPointOfDevice(std::string_view mountInfo, std::string_view device);
// The same from /proc/self/mountinfo: where a data disc's files can be listed.
std::string MountPointOfDevice(std::string_view device);

} // namespace lumetra::platform
