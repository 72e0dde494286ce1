#include "tools/station/station_wire.h"

namespace lumetra::station {

namespace {

void Put32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(static_cast<uint8_t>(v >> shift));
}
void Put16(std::vector<uint8_t>& b, uint16_t v)
{
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}
uint32_t Get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

} // namespace

bool ParseHeader(std::span<const uint8_t> d, DatagramHeader& h)
{
    if (d.size() < kHeaderBytes)
        return false;
    h.sequence = Get32(&d[0]);
    h.stream = Get32(&d[4]);
    h.kind = static_cast<uint16_t>(d[8] << 8 | d[9]);
    h.length = static_cast<uint16_t>(d[10] << 8 | d[11]);
    return true;
}

std::vector<uint8_t> BuildDatagram(const DatagramHeader& h, std::span<const uint8_t> payload)
{
    std::vector<uint8_t> b;
    b.reserve(kHeaderBytes + payload.size());
    Put32(b, h.sequence);
    Put32(b, h.stream);
    Put16(b, h.kind);
    Put16(b, h.length);
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

std::vector<uint8_t> BuildText(uint32_t sequence, uint32_t stream, uint16_t kind,
                               std::initializer_list<std::string> words)
{
    std::vector<uint8_t> payload;
    for (const std::string& w : words) {
        payload.insert(payload.end(), w.begin(), w.end());
        payload.push_back(0);
    }
    if (payload.size() > kMaxPayloadBytes)
        payload.resize(kMaxPayloadBytes);
    return BuildDatagram({sequence, stream, kind, static_cast<uint16_t>(payload.size())}, payload);
}

int RateCode(int outputRate)
{
    if (outputRate <= 11025)
        return 0;
    if (outputRate <= 22050)
        return 1;
    return 2;
}

} // namespace lumetra::station
