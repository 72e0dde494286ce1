#pragma once
// The asynchronous HTTP/1.0 fetch of small documents (directory, station
// records, links), optionally through a proxy with Basic authorization. The
// caller waits in the main loop while look-up, connect, send and receive run as
// its events, so the rest of the program keeps running; a second fetch
// meanwhile is refused with -1.

#include <cstdint>
#include <memory>
#include <string>

namespace lumetra::web {

inline constexpr int kFetchTimeoutMs = 30000;
inline constexpr size_t kReceiveChunk = 4095;
inline constexpr size_t kProgressLogLimit = 511;

class HttpSession;

class HttpFetcher {
public:
    HttpFetcher();
    ~HttpFetcher();
    HttpFetcher(const HttpFetcher&) = delete;
    HttpFetcher& operator=(const HttpFetcher&) = delete;

    // 1: `buffer` holds the body; 0: failure of any kind; -1: a fetch is running.
    // An empty host means the directory server (then port 0 or 80 means its port).
    int Get(const std::string& caption, const std::string& host, uint16_t port, const std::string& path,
            std::string& buffer, size_t capacity);

    bool Running() const { return m_running; }
    // Closes a running fetch as the main window does when it closes.
    void Cancel();
    // The hidden window's progress text of the last fetch.
    const std::string& ProgressLog() const { return m_log; }
    // The request bytes of the last attempt (for diagnostics and tests).
    const std::string& LastRequest() const { return m_lastRequest; }

    // 30 s unless LUMETRA_HTTP_TIMEOUT_MS says otherwise.
    void SetTimeoutMs(int ms) { m_timeoutMs = ms; }

private:
    friend class FetcherHost;
    void AppendLog(const std::string& text);

    bool m_running = false;
    int m_timeoutMs;
    std::string m_log;
    std::string m_lastRequest;
    HttpSession* m_session = nullptr;
};

// The process-wide fetcher.
HttpFetcher& ProcessHttpFetcher();
int HttpGet(const std::string& caption, const std::string& host, uint16_t port, const std::string& path,
            std::string& buffer, size_t capacity);

} // namespace lumetra::web
