#include "platform/drives/fixed_drives.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace lumetra::platform {
namespace {

// File systems that live on a local disk. Network, memory and pseudo file systems
// (nfs, tmpfs, proc, overlay, ...) and disc formats (iso9660, udf) are not drives.
constexpr std::array kDiskFileSystems = {"ext2",    "ext3", "ext4",  "xfs",      "btrfs",  "jfs",    "reiserfs",
                                         "f2fs",    "vfat", "msdos", "exfat",    "ntfs",   "ntfs3",  "hfs",
                                         "hfsplus", "ufs",  "zfs",   "bcachefs", "nilfs2", "fuseblk"};

// Mount points in mountinfo escape blanks and backslashes as octal.
std::string Unescape(std::string_view field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3') {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

struct Mount {
    std::string device; // major:minor
    std::string root;
    std::string point;
    std::string type;
    std::string source;
};

std::vector<Mount> ParseMounts(std::string_view text)
{
    std::vector<Mount> mounts;
    std::istringstream in{std::string(text)};
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::vector<std::string> fields;
        std::string word;
        while (words >> word)
            fields.push_back(word);
        auto dash = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 7 || dash == fields.end() || fields.end() - dash < 3)
            continue;
        mounts.push_back({fields[2], Unescape(fields[3]), Unescape(fields[4]), dash[1], Unescape(dash[2])});
    }
    return mounts;
}

std::string WithSlash(std::string dir)
{
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

} // namespace

std::vector<std::string> DiskMountPoints(std::string_view mountInfo)
{
    std::vector<std::string> points;
    std::set<std::pair<std::string, std::string>> seen;
    for (const Mount& m : ParseMounts(mountInfo)) {
        bool disk = std::find(kDiskFileSystems.begin(), kDiskFileSystems.end(), m.type) != kDiskFileSystems.end();
        if (!disk || (m.type != "zfs" && m.source.rfind("/dev/", 0) != 0))
            continue;
        // A file system mounted twice (a bind mount) is one drive.
        if (!seen.insert({m.device, m.root}).second)
            continue;
        points.push_back(WithSlash(m.point));
    }
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
}

std::string MountPointOfDevice(std::string_view mountInfo, std::string_view device)
{
    for (const Mount& m : ParseMounts(mountInfo)) {
        if (m.source == device)
            return WithSlash(m.point);
    }
    return {};
}

std::string MountPointOfDevice(std::string_view device)
{
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    return MountPointOfDevice(text.str(), device);
}

std::vector<std::string> FixedDrives()
{
    if (const char* list = std::getenv("LUMETRA_DRIVES")) {
        std::vector<std::string> drives;
        std::string_view rest(list);
        while (!rest.empty()) {
            std::size_t colon = rest.find(':');
            std::string_view dir = rest.substr(0, colon);
            if (!dir.empty())
                drives.push_back(WithSlash(std::string(dir)));
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
        return drives;
    }
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    return DiskMountPoints(text.str());
}

} // namespace lumetra::platform
