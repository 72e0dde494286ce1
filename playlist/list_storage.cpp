#include "playlist/list_storage.h"
#include "platform/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumetra::playlist {

std::optional<std::string> ReadListFile(const std::string& path, std::size_t maxBytes)
{
    return platform::ReadRegularFile(path, maxBytes);
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes)
{
    std::string target = path;
    char resolved[PATH_MAX];
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode) && ::realpath(path.c_str(), resolved))
        target = resolved;
    struct stat old {};
    bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode))
        return false;
    std::size_t slash = target.find_last_of('/');
    std::string dir = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    std::string temp = target + ".tmp." + std::to_string(::getpid());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    if (existed)
        ::fchmod(fd, old.st_mode & 07777);
    bool ok = platform::WriteAll(fd, bytes);
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

bool MayHoldMedia(const std::string& path)
{
    return !platform::ExistsButNotRegular(path.c_str());
}

std::string AbsolutePath(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd))
        return path;
    std::string full = cwd;
    if (full.back() != '/')
        full += '/';
    return full + path;
}

} // namespace lumetra::playlist
