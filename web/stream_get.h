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

// Writes the stream into `file` until the connection ends, fails, or `stop`
// becomes 1. Both counters get the running total of bytes written. Returns 0.
// Connecting watches `stop` too, so a stop request is honoured at once.
int StreamGet(const std::string& caption, const std::string& host, uint16_t port, const std::string& path, FILE* file,
              std::atomic<int32_t>& stop, std::atomic<int32_t>& received, std::atomic<int32_t>& progress,
              const std::function<void(int32_t total)>& onData = {});

} // namespace lumetra::web
