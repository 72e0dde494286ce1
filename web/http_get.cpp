#include "web/http_get.h"

#include "platform/dialogs/message_box.h"
#include "platform/loop/main_loop.h"
#include "web/directory_server.h"
#include "web/http_session.h"
#include "web/http_text.h"
#include "web/proxy_settings.h"

#include <cstdlib>

namespace lumetra::web {

// The fetcher as its attempts see it.
class FetcherHost final : public HttpSessionHost {
public:
    explicit FetcherHost(HttpFetcher& fetcher) : m_fetcher(fetcher) {}
    void Log(const std::string& text) override { m_fetcher.AppendLog(text); }
    void Sent(const std::string& request) override { m_fetcher.m_lastRequest = request; }
    void TimedOut(const std::string& caption) override
    {
        platform::ShowMessageBox(caption, "Failed to contact the web server.  Try again later");
    }

private:
    HttpFetcher& m_fetcher;
};

namespace {

int TimeoutFromEnvironment()
{
    if (const char* env = std::getenv("LUMETRA_HTTP_TIMEOUT_MS"); env && *env) {
        int ms = std::atoi(env);
        if (ms > 0)
            return ms;
    }
    return kFetchTimeoutMs;
}

} // namespace

HttpFetcher::HttpFetcher() : m_timeoutMs(TimeoutFromEnvironment()) {}

HttpFetcher::~HttpFetcher() = default;

void HttpFetcher::AppendLog(const std::string& text)
{
    m_log += text;
    if (m_log.size() > kProgressLogLimit)
        m_log.resize(kProgressLogLimit);
}

void HttpFetcher::Cancel()
{
    if (m_session)
        m_session->Cancel();
}

int HttpFetcher::Get(const std::string& caption, const std::string& host, uint16_t port, const std::string& path,
                     std::string& buffer, size_t capacity)
{
    if (m_running)
        return -1;
    // The program installs the main loop; without one there is nothing to fetch in.
    if (!platform::HasMainLoop())
        return 0;
    m_running = true;
    int result = 0;
    for (;;) {
        buffer.clear();
        m_log.clear();
        std::string targetHost = host;
        uint16_t targetPort = port;
        if (targetHost.empty()) {
            Endpoint server = DirectoryServer();
            targetHost = server.host;
            if (targetPort == 0 || targetPort == 80)
                targetPort = server.port;
        }
        if (targetPort == 0)
            targetPort = 80;
        ProxySettings proxy;
        bool useProxy = ReadProxySettings(proxy);
        std::string request;
        std::string lookupHost = targetHost;
        uint16_t connectPort = targetPort;
        if (useProxy) {
            lookupHost = proxy.server;
            int proxyPort = std::atoi(proxy.port.c_str());
            if (proxyPort > 0 && proxyPort < 65536)
                connectPort = static_cast<uint16_t>(proxyPort);
            std::string extra =
                "Proxy-authorization: Basic " + Base64Encode(proxy.userId + ":" + proxy.password) + "\r\n";
            request =
                "GET http://" + targetHost + ":" + std::to_string(targetPort) + path + " HTTP/1.0\r\n" + extra + "\r\n";
        } else {
            request = "GET " + path + " HTTP/1.0\r\n\r\n";
        }
        bool stopped = false;
        {
            FetcherHost host(*this);
            HttpSession session(host, {caption, lookupHost, connectPort, request, m_timeoutMs}, buffer, capacity);
            m_session = &session;
            session.Run();
            m_session = nullptr;
            stopped = session.Stopped();
        }
        if (buffer.empty())
            break;
        size_t end = buffer.find("\r\n\r\n");
        if (end == std::string::npos)
            break; // no complete header: nothing usable
        int length = 0;
        std::string lastModified;
        int kind = ParseHttpHeader(std::string_view(buffer).substr(0, end + 4), length, lastModified);
        // A stopped fetch counts only when its reply said how long it is and all came.
        if (kind == kReplyOk && stopped && (length <= 0 || buffer.size() - (end + 4) < static_cast<size_t>(length)))
            break;
        if (kind == kReplyOk) {
            buffer.erase(0, end + 4);
            result = 1;
            break;
        }
        if (kind == kReplyNeedsLogin && RunProxyDialog(useProxy))
            continue;
        break;
    }
    if (result != 1)
        buffer.clear();
    m_running = false;
    return result;
}

HttpFetcher& ProcessHttpFetcher()
{
    static HttpFetcher fetcher;
    return fetcher;
}

int HttpGet(const std::string& caption, const std::string& host, uint16_t port, const std::string& path,
            std::string& buffer, size_t capacity)
{
    return ProcessHttpFetcher().Get(caption, host, port, path, buffer, capacity);
}

} // namespace lumetra::web
