#include "web/stream_get.h"
#include "web/host_address.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>

namespace lumetra::web {
namespace {

bool Stopped(const std::atomic<int32_t>& stop)
{
    return stop.load() == 1;
}

// Non-blocking connect polled in short steps so a stop request ends it.
int ConnectWatching(const std::string& host, uint16_t port, const std::atomic<int32_t>& stop)
{
    std::optional<HostAddress> address = ResolveHost(host, port);
    if (!address)
        return -1;
    int fd = ::socket(address->bytes.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address->bytes), address->length);
    if (rc != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    while (rc != 0) {
        if (Stopped(stop)) {
            ::close(fd);
            return -1;
        }
        pollfd p{fd, POLLOUT, 0};
        int n = ::poll(&p, 1, 20);
        if (n < 0 && errno != EINTR) {
            ::close(fd);
            return -1;
        }
        if (n > 0) {
            int error = 0;
            socklen_t len = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
            if (error != 0) {
                ::close(fd);
                return -1;
            }
            rc = 0;
        }
    }
    return fd;
}

bool SendAll(int fd, const std::string& text, const std::atomic<int32_t>& stop)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (Stopped(stop))
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int StreamGet(const std::string& /*caption*/, const std::string& host, uint16_t port, const std::string& path,
              FILE* file, std::atomic<int32_t>& stop, std::atomic<int64_t>& received, std::atomic<int64_t>& progress,
              const std::function<void(int64_t total)>& onData, const StreamLimits* limits)
{
    // A configured proxy cannot carry the simple request, so streams go direct.
    if (port == 0)
        port = 80;
    int fd = ConnectWatching(host, port, stop);
    if (fd < 0)
        return 0;
    if (!SendAll(fd, "GET " + path + "\r\n\r\n", stop)) {
        ::close(fd);
        return 0;
    }
    received = 0;
    char chunk[kStreamChunk];
    int end = kStreamEnded;
    int64_t nextDiskCheck = 0;
    while (!Stopped(stop)) {
        if (limits) {
            int64_t total = received.load();
            if (limits->holdBack && limits->holdBack(total)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                continue;
            }
            if (total >= limits->capBytes) {
                end = kStreamCapReached;
                break;
            }
            if (total >= nextDiskCheck) {
                struct statvfs fs {};
                if (::statvfs(limits->folder.c_str(), &fs) == 0 &&
                    static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_frsize) < limits->diskFloorBytes) {
                    end = kStreamDiskFull;
                    break;
                }
                nextDiskCheck = total + (int64_t{1} << 20);
            }
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) == 0)
            continue;
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (n <= 0)
            break;
        if (file) {
            std::fwrite(chunk, 1, static_cast<size_t>(n), file);
            std::fflush(file);
        }
        received += static_cast<int64_t>(n);
        progress = received.load();
        if (onData)
            onData(received.load());
    }
    ::close(fd);
    return end;
}

} // namespace lumetra::web
