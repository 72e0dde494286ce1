#include "tools/station/datagram_log.h"

#include "tools/station/station_wire.h"

namespace lumetra::station {

DatagramLog::~DatagramLog()
{
    if (m_file)
        std::fclose(m_file);
}

bool DatagramLog::Open(const std::string& path, bool logSent)
{
    m_file = std::fopen(path.c_str(), "a");
    m_logSent = logSent;
    return m_file != nullptr;
}

void DatagramLog::Write(const char* direction, const std::string& station, const std::string& peer,
                        std::span<const uint8_t> datagram)
{
    if (!m_file)
        return;
    std::lock_guard lock(m_lock);
    DatagramHeader h;
    if (!ParseHeader(datagram, h)) {
        std::fprintf(m_file, "%s \"%s\" %s bytes=%zu short\n", direction, station.c_str(), peer.c_str(),
                     datagram.size());
    } else {
        std::fprintf(m_file, "%s \"%s\" %s bytes=%zu seq=%u stream=%u kind=0x%04X length=%u payload=", direction,
                     station.c_str(), peer.c_str(), datagram.size(), h.sequence, h.stream, h.kind, h.length);
        for (std::size_t k = kHeaderBytes; k < datagram.size(); ++k)
            std::fprintf(m_file, "%02x", datagram[k]);
        std::fputc('\n', m_file);
    }
    std::fflush(m_file);
}

} // namespace lumetra::station
