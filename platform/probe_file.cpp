#include "platform/probe_file.h"
#include "platform/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumetra::platform {
namespace {

// One read brings this much; a look at a file's start or end rarely needs more.
constexpr int64_t kRegionBytes = 8 * 1024;

struct Region {
    int64_t start = 0;
    int64_t size = 0;
    uint8_t bytes[kRegionBytes];
};

struct ProbeFile {
    int fd = -1;
    int64_t size = 0;
    int64_t position = 0;
    Region regions[2];
    int lastFilled = 1;

    // The region holding offset, read from the disk when none holds it yet.
    const Region* RegionAt(int64_t offset)
    {
        for (const Region& r : regions) {
            if (offset >= r.start && offset < r.start + r.size)
                return &r;
        }
        lastFilled ^= 1;
        Region& r = regions[lastFilled];
        // Near the end, the region ends where the file does, so the tags there
        // come in one read whatever order they are looked at in.
        r.start = offset > size - kRegionBytes ? std::max<int64_t>(0, size - kRegionBytes) : offset;
        ssize_t got;
        do
            got = ::pread(fd, r.bytes, kRegionBytes, r.start);
        while (got < 0 && errno == EINTR);
        r.size = got > 0 ? got : 0;
        return offset < r.start + r.size ? &r : nullptr;
    }
};

ssize_t Read(void* cookie, char* buffer, size_t length)
{
    auto* file = static_cast<ProbeFile*>(cookie);
    size_t done = 0;
    while (done < length && file->position < file->size) {
        const Region* r = file->RegionAt(file->position);
        if (!r)
            break;
        const int64_t at = file->position - r->start;
        const size_t n = static_cast<size_t>(std::min<int64_t>(r->size - at, static_cast<int64_t>(length - done)));
        std::memcpy(buffer + done, r->bytes + at, n);
        done += n;
        file->position += static_cast<int64_t>(n);
    }
    return static_cast<ssize_t>(done);
}

int Seek(void* cookie, off64_t* offset, int whence)
{
    auto* file = static_cast<ProbeFile*>(cookie);
    const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? file->position : file->size;
    if (*offset < -base) {
        errno = EINVAL;
        return -1;
    }
    file->position = base + *offset;
    *offset = file->position;
    return 0;
}

int Close(void* cookie)
{
    auto* file = static_cast<ProbeFile*>(cookie);
    const int result = ::close(file->fd);
    delete file;
    return result;
}

} // namespace

std::FILE* OpenProbeFile(const char* path)
{
    struct stat st;
    const int fd = OpenRegularFd(path, st);
    if (fd < 0)
        return nullptr;
    auto* file = new ProbeFile;
    file->fd = fd;
    file->size = st.st_size;
    cookie_io_functions_t functions{Read, nullptr, Seek, Close};
    std::FILE* stream = ::fopencookie(file, "rb", functions);
    if (!stream)
        Close(file);
    return stream;
}

} // namespace lumetra::platform
