#pragma once
// How far an HTTP stream's download has come: the bytes received into the local
// stream file and whether the download still runs. The stream downloader writes
// it; the feeder keeps its reading 10240 bytes behind it.

#include <atomic>
#include <cstdint>

namespace lumetra::engine {

class StreamProgress {
public:
    void SetReceivedBytes(int64_t bytes) { m_received.store(bytes); }
    int64_t ReceivedBytes() const { return m_received.load(); }
    void SetDownloading(bool running) { m_downloading.store(running); }
    bool Downloading() const { return m_downloading.load(); }

private:
    std::atomic<int64_t> m_received{0};
    std::atomic<bool> m_downloading{false};
};

StreamProgress& TheStreamProgress();

} // namespace lumetra::engine
