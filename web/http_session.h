#pragma once
// One HTTP attempt (look-up, connect, send, receive, close) on a non-blocking
// socket driven by the main loop. The name look-up blocks, so it runs on a thread
// of its own and posts its answer back; a literal address needs none.

#include "platform/loop/main_loop.h"
#include "web/host_address.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <sys/socket.h>

namespace lumetra::web {

// What an attempt tells the fetcher that runs it.
class HttpSessionHost {
public:
    virtual void Log(const std::string& text) = 0;
    virtual void Sent(const std::string& request) = 0;
    // The time-out passed; the user is told before the connection closes.
    virtual void TimedOut(const std::string& caption) = 0;

protected:
    ~HttpSessionHost() = default;
};

struct HttpSessionRequest {
    std::string caption;
    std::string lookupHost;
    uint16_t connectPort = 80;
    std::string request;
    int timeoutMs = 0;
};

// Stands in for the hidden fetch window: Run returns when the window would close.
class HttpSession {
public:
    // The reply goes into buffer while it stays under capacity bytes.
    HttpSession(HttpSessionHost& host, const HttpSessionRequest& request, std::string& buffer, size_t capacity);
    ~HttpSession();
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    // Returns when the attempt has ended; the rest of the program runs meanwhile.
    void Run();
    void Cancel();
    // Ended by the time-out or a cancel rather than by the server.
    bool Stopped() const { return m_stopped; }

private:
    using Address = HostAddress;
    struct Lookup; // shared with the look-up thread
    void StartLookup();
    void LookedUp();
    void Connect(const Address& address);
    void ConnectDone();
    void Connected();
    void Receive();
    void TimedOut();
    void Close();

    HttpSessionHost& m_host;
    HttpSessionRequest m_request;
    std::string& m_buffer;
    size_t m_remaining;
    int m_fd = -1;
    platform::MainLoop::Id m_connectWatch = 0;
    std::unique_ptr<platform::FdWatch> m_readWatch;
    std::shared_ptr<Lookup> m_lookup;
    std::unique_ptr<platform::FdWatch> m_lookupWatch;
    platform::LoopTimer m_timer;
    platform::LoopScope m_scope;
    bool m_closed = false;
    bool m_stopped = false;
};

} // namespace lumetra::web
