#include "tools/station/directory_service.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace lumetra::station {
namespace {

constexpr qint64 kRequestLimit = 8192;
constexpr int kClientTimeoutMs = 10000;

const char* Reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    default:
        return "Not Found";
    }
}

bool ParsePort(const char* text, uint16_t& port)
{
    char* end = nullptr;
    long n = std::strtol(text, &end, 10);
    if (!*text || *end || n < 0 || n > 65535)
        return false;
    port = static_cast<uint16_t>(n);
    return true;
}

} // namespace

bool ExtractDirectoryOptions(int& argc, char** argv, DirectoryServiceOptions& options, std::string& error)
{
    int out = 1;
    bool disabled = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool takesValue = arg == "--directory-port" || arg == "--directory-message" || arg == "--directory-version" ||
                          arg == "--directory-refresh";
        if (arg == "--demo")
            options.enabled = true;
        if (arg == "--no-directory") {
            disabled = true;
            continue;
        }
        if (!takesValue) {
            argv[out++] = argv[i];
            continue;
        }
        if (i + 1 >= argc) {
            error = arg + " needs a value";
            return false;
        }
        std::string value = argv[++i];
        if (arg == "--directory-port") {
            if (!ParsePort(value.c_str(), options.port)) {
                error = "bad directory port: " + value;
                return false;
            }
            options.enabled = true;
        } else if (arg == "--directory-refresh") {
            options.extras.autoRefreshSeconds = std::atoi(value.c_str());
        } else {
            size_t colon = value.find(':');
            if (colon == std::string::npos) {
                error = arg + " wants A:B, got " + value;
                return false;
            }
            if (arg == "--directory-message") {
                options.extras.messageId = std::atoi(value.substr(0, colon).c_str());
                options.extras.messageText = value.substr(colon + 1);
            } else {
                options.extras.version = value.substr(0, colon);
                options.extras.versionUrl = value.substr(colon + 1);
            }
        }
    }
    argc = out;
    argv[out] = nullptr;
    if (disabled)
        options.enabled = false;
    return true;
}

DirectoryService::DirectoryService(DirectoryServiceOptions options,
                                   std::function<std::vector<DirectoryStation>()> stations)
    : m_options(std::move(options)), m_stations(std::move(stations))
{
    QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] { OnConnection(); });
}

bool DirectoryService::Start(std::string& error)
{
    QHostAddress address(QString::fromStdString(m_options.address));
    if (address.isNull()) {
        error = "bad directory address " + m_options.address;
        return false;
    }
    if (!m_server.listen(address, m_options.port)) {
        error = "directory service: cannot listen on " + m_options.address + ":" + std::to_string(m_options.port) +
                ": " + m_server.errorString().toStdString();
        return false;
    }
    return true;
}

void DirectoryService::OnConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        auto received = std::make_shared<QByteArray>();
        auto answered = std::make_shared<bool>(false);
        auto timer = new QTimer(socket);
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->abort(); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received, answered, timer] {
            if (*answered)
                return;
            received->append(socket->read(kRequestLimit + 1 - received->size()));
            qsizetype end = received->indexOf("\r\n\r\n");
            if (end < 0)
                end = received->indexOf("\n\n");
            if (end < 0 && received->size() <= kRequestLimit)
                return; // wait for the rest of the request
            timer->stop();
            *answered = true;
            DirectoryResponse response{400, "bad request\n"};
            qsizetype lineEnd = received->indexOf('\n');
            QByteArray line = received->left(lineEnd < 0 ? received->size() : lineEnd).trimmed();
            QList<QByteArray> words = line.split(' ');
            bool simple = words.size() == 2;
            if (end >= 0 && words.size() >= 2 && words[0] == "GET")
                response = RespondToDirectoryRequest(words[1].toStdString(), m_stations(), m_options.extras);
            std::string reply;
            if (!simple) {
                reply = "HTTP/1.0 " + std::to_string(response.status) + " " + Reason(response.status) +
                        "\r\nServer: lumetra-station\r\nContent-Type: text/plain\r\nContent-Length: " +
                        std::to_string(response.body.size()) + "\r\n\r\n";
            }
            reply += response.body;
            socket->write(reply.data(), static_cast<qint64>(reply.size()));
            socket->disconnectFromHost();
        });
        timer->start(kClientTimeoutMs);
    }
}

} // namespace lumetra::station
