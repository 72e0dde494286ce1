#include "platform/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumetra::platform {

bool ExistsButNotRegular(const char* path)
{
    struct stat st;
    return ::stat(path, &st) == 0 && !S_ISREG(st.st_mode);
}

std::string NotRegularFileText(const std::string& path)
{
    return "not a regular file: " + path;
}

int OpenRegularFd(const char* path, struct stat& st)
{
    // O_NONBLOCK: a FIFO swapped in after any earlier check still opens at once,
    // and is refused by the fstat below.
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool WriteAll(int fd, std::string_view bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::FILE* OpenRegularFile(const char* path, const char* mode)
{
    struct stat st;
    int fd = OpenRegularFd(path, st);
    if (fd < 0)
        return nullptr;
    std::FILE* file = ::fdopen(fd, mode);
    if (!file)
        ::close(fd);
    return file;
}

std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t maxBytes)
{
    std::FILE* file = OpenRegularFile(path.c_str());
    if (!file)
        return std::nullopt;
    std::string text;
    char chunk[16384];
    while (text.size() < maxBytes) {
        std::size_t got = std::fread(chunk, 1, std::min(sizeof chunk, maxBytes - text.size()), file);
        text.append(chunk, got);
        if (got == 0)
            break;
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return std::nullopt;
    return text;
}

} // namespace lumetra::platform
