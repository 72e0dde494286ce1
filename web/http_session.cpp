#include "web/http_session.h"

#include "web/http_get.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace lumetra::web {
namespace {

constexpr int kChunksPerNotice = 64; // then the loop's other work gets a turn
constexpr int kLongWaitMs = 1000;    // a nested wait ends sooner when anything arrives
constexpr int kCloseDelayMs = 1000;  // a timed-out connection stays this long

std::string ContactingLine(const sockaddr_storage& address)
{
    char text[INET6_ADDRSTRLEN] = "?";
    if (address.ss_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr, text, sizeof text);
    else
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr, text, sizeof text);
    char line[64];
    std::snprintf(line, sizeof line, "Contacting %.40s...\n", text);
    return line;
}

} // namespace

// What the session and its look-up thread share. The thread writes the answer and
// one byte into the pipe; whichever side lets go last closes it, so a thread that
// outlives its session (or the loop) touches nothing else.
struct HttpSession::Lookup {
    Lookup() { ok = ::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) == 0; }
    ~Lookup()
    {
        if (ok) {
            ::close(pipe[0]);
            ::close(pipe[1]);
        }
    }
    bool ok = false;
    int pipe[2] = {-1, -1};
    std::mutex lock;
    Address answer;
};

HttpSession::HttpSession(HttpSessionHost& host, const HttpSessionRequest& request, std::string& buffer,
                         size_t capacity)
    : m_host(host), m_request(request), m_buffer(buffer), m_remaining(capacity)
{
    m_timer.SetSingleShot(true);
    m_timer.SetCallback([this] { TimedOut(); });
}

HttpSession::~HttpSession()
{
    Close();
}

void HttpSession::Run()
{
    m_host.Log(m_request.caption);
    m_host.Log("Looking up " + m_request.lookupHost + "...\n");
    if (std::optional<Address> literal = ResolveHost(m_request.lookupHost, m_request.connectPort, true)) {
        // A literal address needs no look-up; go on from the loop as after one.
        m_scope.Post([this, address = *literal] { Connect(address); });
    } else {
        StartLookup();
    }
    while (!m_closed)
        platform::TheMainLoop().ProcessEvents(kLongWaitMs);
}

void HttpSession::StartLookup()
{
    m_lookup = std::make_shared<Lookup>();
    if (!m_lookup->ok) {
        m_scope.Post([this] { Close(); });
        return;
    }
    m_lookupWatch = std::make_unique<platform::FdWatch>(m_lookup->pipe[0], [this] { LookedUp(); });
    // getaddrinfo cannot be stopped: a thread whose session has closed finishes unheard.
    auto lookUp = [lookup = m_lookup, host = m_request.lookupHost, port = m_request.connectPort] {
        if (std::optional<Address> answer = ResolveHost(host, port)) {
            std::lock_guard<std::mutex> hold(lookup->lock);
            lookup->answer = *answer;
        }
        [[maybe_unused]] ssize_t n = ::write(lookup->pipe[1], "", 1);
    };
    try {
        std::thread(std::move(lookUp)).detach();
    } catch (const std::system_error&) {
        m_scope.Post([this] { Close(); }); // no thread to be had: the look-up fails
    }
}

void HttpSession::LookedUp()
{
    m_lookupWatch->SetEnabled(false);
    Address answer;
    {
        std::lock_guard<std::mutex> hold(m_lookup->lock);
        answer = m_lookup->answer;
    }
    m_lookup.reset();
    if (answer.length == 0)
        Close();
    else
        Connect(answer);
}

void HttpSession::Connect(const Address& address)
{
    if (m_closed)
        return;
    m_fd = ::socket(address.bytes.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        Close();
        return;
    }
    m_host.Log(ContactingLine(address.bytes));
    // The time-out covers a connect left pending and a server that never answers.
    m_timer.Start(m_request.timeoutMs);
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address.bytes), address.length) == 0) {
        m_scope.Post([this] { ConnectDone(); });
        return;
    }
    if (errno != EINPROGRESS) {
        Close();
        return;
    }
    m_connectWatch = platform::TheMainLoop().WatchWritable(m_fd, [this] { ConnectDone(); });
}

void HttpSession::ConnectDone()
{
    if (m_connectWatch) {
        platform::TheMainLoop().Unwatch(m_connectWatch);
        m_connectWatch = 0;
    }
    if (m_closed)
        return;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        Close();
        return;
    }
    Connected();
}

void HttpSession::Connected()
{
    m_buffer.clear();
    m_host.Sent(m_request.request);
    // A request is a few hundred bytes: a fresh connection's send buffer takes it whole.
    ssize_t sent = ::send(m_fd, m_request.request.data(), m_request.request.size(), MSG_NOSIGNAL);
    if (sent != static_cast<ssize_t>(m_request.request.size())) {
        Close();
        return;
    }
    m_host.Log("Waiting for a reply...\n");
    m_readWatch = std::make_unique<platform::FdWatch>(m_fd, [this] { Receive(); });
}

void HttpSession::Receive()
{
    char chunk[kReceiveChunk];
    for (int i = 0; i < kChunksPerNotice && !m_closed; ++i) {
        ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            // A chunk that no longer fits (with its terminating NUL) is dropped.
            if (m_remaining > static_cast<size_t>(n)) {
                m_remaining -= static_cast<size_t>(n);
                m_buffer.append(chunk, static_cast<size_t>(n));
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        // The end of the reply, or the server reset the connection: either way it has closed.
        if (n == 0 || errno == ECONNRESET)
            m_host.Log("Closing connection...\n");
        Close();
        return;
    }
}

void HttpSession::TimedOut()
{
    m_host.TimedOut(m_request.caption);
    if (m_closed)
        return;
    m_stopped = true;
    m_host.Log("Stopped by User\n");
    // The connection stays a second longer, with the loop running.
    m_scope.After(kCloseDelayMs, [this] { Close(); });
}

void HttpSession::Cancel()
{
    if (m_closed)
        return;
    m_stopped = true;
    m_host.Log("Stopped by User\n");
    Close();
}

void HttpSession::Close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_timer.Stop();
    if (m_lookupWatch)
        m_lookupWatch->SetEnabled(false);
    m_lookup.reset();
    if (m_connectWatch) {
        platform::TheMainLoop().Unwatch(m_connectWatch);
        m_connectWatch = 0;
    }
    if (m_readWatch)
        m_readWatch->SetEnabled(false);
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace lumetra::web
