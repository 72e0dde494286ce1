#pragma once
// One HTTP attempt (look-up, connect, send, receive, close) over Qt's sockets. It
// lives in the module "lumetra-web-http.so", loaded at the first fetch, so a run
// that fetches nothing never maps Qt's network library and what that pulls in
// (Kerberos, libproxy, brotli).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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

class HttpSession {
public:
    virtual ~HttpSession() = default;
    // Returns when the attempt has ended; the rest of the program runs meanwhile.
    virtual void Run() = 0;
    virtual void Cancel() = 0;
    // Ended by the time-out or a cancel rather than by the server.
    virtual bool Stopped() const = 0;
};

struct HttpModuleTable {
    std::size_t size; // sizeof(HttpModuleTable) where the module was built
    // The reply goes into buffer while it stays under capacity bytes.
    std::unique_ptr<HttpSession> (*openSession)(HttpSessionHost&, const HttpSessionRequest&, std::string& buffer,
                                                std::size_t capacity);
};

} // namespace lumetra::web

// The module's one exported symbol.
extern "C" const void* lumetra_web_http_module();
