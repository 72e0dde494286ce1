#pragma once
// Radio datagrams: the 12-byte big-endian header shared by both directions, and
// the datagrams the receiver sends, byte for byte.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace lumetra::radio {

inline constexpr size_t kHeaderBytes = 12;
inline constexpr size_t kMaxPayloadBytes = 5120;
inline constexpr size_t kMaxDatagramBytes = kHeaderBytes + kMaxPayloadBytes;

// Kind bits from the station.
inline constexpr uint16_t kKindText = 0x0004;
inline constexpr uint16_t kKindGroup = 0x0002;
inline constexpr uint16_t kKindRateMask = 0x0300;
inline constexpr uint16_t kKindNativeRate = 0x0400;
inline constexpr uint16_t kKindProbe = 0x0800;
inline constexpr uint16_t kKindAudio = 0x8000;

// Kind values the receiver sends.
inline constexpr uint16_t kKindLogonUnicast = 4;
inline constexpr uint16_t kKindLogonMulticast = 2;
inline constexpr uint16_t kKindLogoff = 16;
inline constexpr uint16_t kKindFeedback = 8; // resend request (length 0) or report (32)
inline constexpr uint16_t kKindLinkAnswer = 0x0800;

struct DatagramHeader {
    uint32_t sequence = 0;
    uint32_t stream = 0;
    uint16_t kind = 0;
    uint16_t length = 0;
};

// A received datagram: its header and the payload bytes actually present (the
// length field may claim more than arrived; the payload never exceeds either).
struct Datagram {
    DatagramHeader header;
    std::span<const uint8_t> payload;
};

// Nothing when fewer than 12 bytes arrived.
std::optional<Datagram> ParseDatagram(std::span<const uint8_t> bytes);

void PutHeader(uint8_t* out, const DatagramHeader& header);

// The receiver's outgoing datagrams. Sequence and stream fields that carry no
// meaning are passed in so the caller can keep what its previous request held.
std::vector<uint8_t> MakeLogon(uint16_t kind, std::string_view userId, uint32_t sequence, uint32_t stream);
std::array<uint8_t, 12> MakeLogoff(uint32_t sequence, uint32_t stream);
std::array<uint8_t, 22> MakeResendRequest(uint32_t missing, uint32_t stream);
std::array<uint8_t, 22> MakeLinkAnswer(uint32_t stream);
// flags: the eight received flags of the last completed block, as stored.
std::array<uint8_t, 44> MakeReceptionReport(uint32_t sequence, uint32_t stream, const std::array<uint32_t, 8>& flags);

} // namespace lumetra::radio
