#pragma once
// One line per datagram, flushed at once so that a test can read it while the
// station runs:
//   rx "NAME" 127.0.0.1:PORT bytes=N seq=S stream=ID kind=0x0004 length=L payload=HEX
// ("tx" for datagrams sent, when asked for).

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <span>
#include <string>

namespace lumetra::station {

class DatagramLog {
public:
    DatagramLog() = default;
    ~DatagramLog();
    DatagramLog(const DatagramLog&) = delete;
    DatagramLog& operator=(const DatagramLog&) = delete;

    bool Open(const std::string& path, bool logSent);
    bool LogsSent() const { return m_logSent; }
    void Write(const char* direction, const std::string& station, const std::string& peer,
               std::span<const uint8_t> datagram);

private:
    std::FILE* m_file = nullptr;
    bool m_logSent = false;
    std::mutex m_lock;
};

} // namespace lumetra::station
