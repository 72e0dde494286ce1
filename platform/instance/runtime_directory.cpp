#include "platform/instance/runtime_directory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace lumetra::platform {
namespace {

// The fallback is shared ground (/tmp): it must be ours alone, or another user
// could answer our hand-overs.
std::optional<std::string> PrivateTmpFolder(std::string* error)
{
    std::string dir = "/tmp/lumetra-" + std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        if (error)
            *error = "cannot create " + dir + ": " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat info {};
    if (::lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid() ||
        (info.st_mode & 077) != 0) {
        if (error)
            *error = dir + " is not a private folder of this user";
        return std::nullopt;
    }
    return dir + "/";
}

} // namespace

std::optional<std::string> RuntimeDirectory(std::string* error)
{
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (!xdg || xdg[0] != '/')
        return PrivateTmpFolder(error);
    std::string dir = xdg;
    if (dir.back() != '/')
        dir += '/';
    return dir;
}

} // namespace lumetra::platform
