#pragma once
// The datagrams a station exchanges with receivers: a 12-byte big-endian header
// (sequence, stream identifier, kind bits, payload length) and its payload.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace lumetra::station {

inline constexpr std::size_t kHeaderBytes = 12;
inline constexpr std::size_t kMaxPayloadBytes = 5120;

// Kind bits sent by a station.
inline constexpr uint16_t kKindText = 0x0004;
inline constexpr uint16_t kKindGroup = 0x0002;
inline constexpr uint16_t kKindNativeRate = 0x0400;
inline constexpr uint16_t kKindLinkProbe = 0x0800;
inline constexpr uint16_t kKindAudio = 0x8000;
inline constexpr int kRateCodeShift = 8; // bits 0x0300

// Kinds a receiver sends.
inline constexpr uint16_t kKindLogonMulticast = 2;
inline constexpr uint16_t kKindLogonUnicast = 4;
inline constexpr uint16_t kKindResendOrReport = 8;
inline constexpr uint16_t kKindLogoff = 16;
inline constexpr uint16_t kReportLength = 32;

struct DatagramHeader {
    uint32_t sequence = 0;
    uint32_t stream = 0;
    uint16_t kind = 0;
    uint16_t length = 0;
};

// False when the datagram is shorter than a header.
bool ParseHeader(std::span<const uint8_t> datagram, DatagramHeader& header);

std::vector<uint8_t> BuildDatagram(const DatagramHeader& header, std::span<const uint8_t> payload);

// A text message: the words joined, each followed by its NUL; the length field
// counts every byte of the payload.
std::vector<uint8_t> BuildText(uint32_t sequence, uint32_t stream, uint16_t kind,
                               std::initializer_list<std::string> words);

// Rate code for an output rate: 0 = 11025, 1 = 22050, 2 = 44100.
int RateCode(int outputRate);

} // namespace lumetra::station
