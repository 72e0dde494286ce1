#include "radio/receiver/datagram.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace lumetra::radio {
namespace {

uint32_t Get32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint16_t Get16(const uint8_t* p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

void Put32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

void Put16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

} // namespace

std::optional<Datagram> ParseDatagram(std::span<const uint8_t> bytes)
{
    if (bytes.size() < kHeaderBytes)
        return std::nullopt;
    bytes = bytes.first(std::min(bytes.size(), kMaxDatagramBytes));
    Datagram d;
    d.header.sequence = Get32(bytes.data());
    d.header.stream = Get32(bytes.data() + 4);
    d.header.kind = Get16(bytes.data() + 8);
    d.header.length = Get16(bytes.data() + 10);
    size_t present = bytes.size() - kHeaderBytes;
    d.payload = bytes.subspan(kHeaderBytes, std::min<size_t>(d.header.length, present));
    return d;
}

void PutHeader(uint8_t* out, const DatagramHeader& header)
{
    Put32(out, header.sequence);
    Put32(out + 4, header.stream);
    Put16(out + 8, header.kind);
    Put16(out + 10, header.length);
}

std::vector<uint8_t> MakeLogon(uint16_t kind, std::string_view userId, uint32_t sequence, uint32_t stream)
{
    std::string text = "USERID=";
    text.append(userId.substr(0, kMaxPayloadBytes - text.size() - 1));
    std::vector<uint8_t> out(kHeaderBytes + text.size() + 1, 0);
    PutHeader(out.data(), {sequence, stream, kind, uint16_t(text.size())});
    std::memcpy(out.data() + kHeaderBytes, text.data(), text.size());
    return out;
}

std::array<uint8_t, 12> MakeLogoff(uint32_t sequence, uint32_t stream)
{
    std::array<uint8_t, 12> out{};
    PutHeader(out.data(), {sequence, stream, kKindLogoff, 0});
    return out;
}

std::array<uint8_t, 22> MakeResendRequest(uint32_t missing, uint32_t stream)
{
    std::array<uint8_t, 22> out{};
    PutHeader(out.data(), {missing, stream, kKindFeedback, 0});
    out[12] = 0x01;
    out[13] = 0x00;
    return out;
}

std::array<uint8_t, 22> MakeLinkAnswer(uint32_t stream)
{
    std::array<uint8_t, 22> out{};
    PutHeader(out.data(), {0, stream, kKindLinkAnswer, 0});
    return out;
}

std::array<uint8_t, 44> MakeReceptionReport(uint32_t sequence, uint32_t stream, const std::array<uint32_t, 8>& flags)
{
    std::array<uint8_t, 44> out{};
    PutHeader(out.data(), {sequence, stream, kKindFeedback, 32});
    for (size_t i = 0; i < 8; ++i) {
        uint32_t v = flags[i];
        uint8_t* p = out.data() + 12 + 4 * i;
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v >> 16);
        p[3] = uint8_t(v >> 24);
    }
    return out;
}

} // namespace lumetra::radio
