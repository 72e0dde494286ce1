#include "web/http_get.h"

#include "platform/dialogs/message_box.h"
#include "web/directory_server.h"
#include "web/http_text.h"
#include "web/proxy_settings.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <cstdlib>

namespace lumetra::web {

// One attempt: look-up, connect, send, receive, close. Stands in for the
// hidden fetch window; its event loop ends when the window would close.
class HttpFetchSession : public QObject {
public:
    HttpFetchSession(HttpFetcher& owner, std::string caption, std::string lookupHost, uint16_t connectPort,
                     std::string request, std::string& buffer, size_t capacity)
        : m_owner(owner), m_caption(std::move(caption)), m_lookupHost(std::move(lookupHost)),
          m_connectPort(connectPort), m_request(std::move(request)), m_buffer(buffer), m_remaining(capacity)
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { TimedOut(); });
    }

    ~HttpFetchSession() override { Close(); }

    void Run()
    {
        m_owner.AppendLog(m_caption);
        m_owner.AppendLog("Looking up " + m_lookupHost + "...\n");
        QHostAddress literal;
        if (literal.setAddress(QString::fromStdString(m_lookupHost))) {
            // A dotted address needs no look-up; finish it from the loop like one.
            QTimer::singleShot(0, this, [this, literal] { Connect(literal); });
        } else {
            m_lookupId = QHostInfo::lookupHost(QString::fromStdString(m_lookupHost), this,
                                               [this](const QHostInfo& info) { LookedUp(info); });
        }
        if (!m_closed)
            m_loop.exec();
    }

    void Cancel()
    {
        if (m_closed)
            return;
        m_stopped = true;
        m_owner.AppendLog("Stopped by User\n");
        Close();
    }

    // Ended by the time-out or a cancel rather than by the server.
    bool Stopped() const { return m_stopped; }

private:
    void LookedUp(const QHostInfo& info)
    {
        m_lookupId = -1;
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
            Close();
            return;
        }
        QHostAddress chosen = info.addresses().first();
        for (const QHostAddress& a : info.addresses())
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                chosen = a;
                break;
            }
        Connect(chosen);
    }

    void Connect(const QHostAddress& address)
    {
        if (m_closed)
            return;
        m_socket = new QTcpSocket(this);
        QObject::connect(m_socket, &QTcpSocket::connected, this, [this] { Connected(); });
        QObject::connect(m_socket, &QTcpSocket::readyRead, this, [this] { Receive(); });
        QObject::connect(m_socket, &QTcpSocket::disconnected, this, [this] { PeerClosed(); });
        QObject::connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
            if (e == QAbstractSocket::RemoteHostClosedError)
                PeerClosed();
            else
                Close();
        });
        bool ok = false;
        quint32 v4 = address.toIPv4Address(&ok);
        char line[64];
        if (ok)
            std::snprintf(line, sizeof line, "Contacting %u.%u.%u.%u...\n", v4 >> 24, (v4 >> 16) & 255, (v4 >> 8) & 255,
                          v4 & 255);
        else
            std::snprintf(line, sizeof line, "Contacting %.40s...\n", address.toString().toUtf8().constData());
        m_owner.AppendLog(line);
        // The time-out covers a connect left pending and a server that never answers.
        m_timer.start(m_owner.m_timeoutMs);
        m_socket->connectToHost(address, m_connectPort);
    }

    void Connected()
    {
        m_buffer.clear();
        m_owner.m_lastRequest = m_request;
        if (m_socket->write(m_request.data(), static_cast<qint64>(m_request.size())) !=
            static_cast<qint64>(m_request.size())) {
            Close();
            return;
        }
        m_owner.AppendLog("Waiting for a reply...\n");
    }

    void Receive()
    {
        char chunk[kReceiveChunk];
        while (m_socket && m_socket->bytesAvailable() > 0) {
            qint64 n = m_socket->read(chunk, sizeof chunk);
            if (n <= 0)
                break;
            // A chunk that no longer fits (with its terminating NUL) is dropped.
            if (m_remaining > static_cast<size_t>(n)) {
                m_remaining -= static_cast<size_t>(n);
                m_buffer.append(chunk, static_cast<size_t>(n));
            }
        }
    }

    void PeerClosed()
    {
        if (m_closed)
            return;
        Receive();
        m_owner.AppendLog("Closing connection...\n");
        Close();
    }

    void TimedOut()
    {
        platform::ShowMessageBox(m_caption, "Failed to contact the web server.  Try again later");
        if (m_closed)
            return;
        m_stopped = true;
        m_owner.AppendLog("Stopped by User\n");
        // The connection stays a second longer, with the event loop running.
        QTimer::singleShot(std::chrono::seconds(1), this, [this] { Close(); });
    }

    void Close()
    {
        if (m_closed)
            return;
        m_closed = true;
        m_timer.stop();
        if (m_lookupId >= 0) {
            QHostInfo::abortHostLookup(m_lookupId);
            m_lookupId = -1;
        }
        if (m_socket) {
            m_socket->disconnect(this);
            m_socket->abort();
            m_socket->deleteLater();
            m_socket = nullptr;
        }
        m_loop.quit();
    }

    HttpFetcher& m_owner;
    std::string m_caption;
    std::string m_lookupHost;
    uint16_t m_connectPort;
    std::string m_request;
    std::string& m_buffer;
    size_t m_remaining;
    QEventLoop m_loop;
    QTimer m_timer;
    QTcpSocket* m_socket = nullptr;
    int m_lookupId = -1;
    bool m_closed = false;
    bool m_stopped = false;
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
    // The program owns the application object; without one there is no event loop to fetch in.
    if (!QCoreApplication::instance())
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
            HttpFetchSession session(*this, caption, lookupHost, connectPort, request, buffer, capacity);
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
