// The module's side of a fetch: the attempt over Qt's sockets and the table.
#include "web/http_get.h"
#include "web/http_session.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <cstdio>

namespace lumetra::web {
namespace {

// One attempt: look-up, connect, send, receive, close. Stands in for the
// hidden fetch window; its event loop ends when the window would close.
class HttpFetchSession : public QObject, public HttpSession {
public:
    HttpFetchSession(HttpSessionHost& host, const HttpSessionRequest& request, std::string& buffer, size_t capacity)
        : m_host(host), m_caption(request.caption), m_lookupHost(request.lookupHost),
          m_connectPort(request.connectPort), m_request(request.request), m_timeoutMs(request.timeoutMs),
          m_buffer(buffer), m_remaining(capacity)
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { TimedOut(); });
    }

    ~HttpFetchSession() override { Close(); }

    void Run() override
    {
        m_host.Log(m_caption);
        m_host.Log("Looking up " + m_lookupHost + "...\n");
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

    void Cancel() override
    {
        if (m_closed)
            return;
        m_stopped = true;
        m_host.Log("Stopped by User\n");
        Close();
    }

    // Ended by the time-out or a cancel rather than by the server.
    bool Stopped() const override { return m_stopped; }

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
        m_host.Log(line);
        // The time-out covers a connect left pending and a server that never answers.
        m_timer.start(m_timeoutMs);
        m_socket->connectToHost(address, m_connectPort);
    }

    void Connected()
    {
        m_buffer.clear();
        m_host.Sent(m_request);
        if (m_socket->write(m_request.data(), static_cast<qint64>(m_request.size())) !=
            static_cast<qint64>(m_request.size())) {
            Close();
            return;
        }
        m_host.Log("Waiting for a reply...\n");
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
        m_host.Log("Closing connection...\n");
        Close();
    }

    void TimedOut()
    {
        m_host.TimedOut(m_caption);
        if (m_closed)
            return;
        m_stopped = true;
        m_host.Log("Stopped by User\n");
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

    HttpSessionHost& m_host;
    std::string m_caption;
    std::string m_lookupHost;
    uint16_t m_connectPort;
    std::string m_request;
    int m_timeoutMs;
    std::string& m_buffer;
    size_t m_remaining;
    QEventLoop m_loop;
    QTimer m_timer;
    QTcpSocket* m_socket = nullptr;
    int m_lookupId = -1;
    bool m_closed = false;
    bool m_stopped = false;
};

} // namespace
} // namespace lumetra::web

using namespace lumetra::web;

extern "C" __attribute__((visibility("default"))) const void* lumetra_web_http_module()
{
    static const HttpModuleTable table{
        sizeof(HttpModuleTable),
        [](HttpSessionHost& host, const HttpSessionRequest& request, std::string& buffer,
           std::size_t capacity) -> std::unique_ptr<HttpSession> {
            return std::make_unique<HttpFetchSession>(host, request, buffer, capacity);
        }};
    return &table;
}
