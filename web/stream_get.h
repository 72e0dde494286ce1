#pragma once
// The blocking fetch of an HTTP MP3 stream on the stream worker thread: a
// simple request ("GET path", no protocol version) so the server answers with
// the bare stream, written to a file as it arrives.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace lumetra::web {

inline constexpr size_t kStreamChunk = 8192;

// Bounds of a download: a hard cap on the file, a floor of free disk space in
// the file's folder, and pacing: while holdBack says the file is far enough
// ahead of the player, the socket is not read and TCP holds the server back.
struct StreamLimits {
    int64_t capBytes = int64_t{1} << 30;
    int64_t diskFloorBytes = int64_t{1} << 30;
    std::string folder;
    std::function<bool(int64_t received)> holdBack;
};
enum StreamEnd : int { kStreamEnded = 0, kStreamCapReached = 1, kStreamDiskFull = 2 };

// Writes the stream into `file` until the connection ends, fails, `stop`
// becomes 1 or a limit is reached. Both counters get the running total of bytes
// written. Returns a StreamEnd. Connecting watches `stop` too, so a stop
// request is honoured at once.
int StreamGet(const std::string& caption, const std::string& host, uint16_t port, const std::string& path, FILE* file,
              std::atomic<int32_t>& stop, std::atomic<int64_t>& received, std::atomic<int64_t>& progress,
              const std::function<void(int64_t total)>& onData = {}, const StreamLimits* limits = nullptr);

} // namespace lumetra::web
