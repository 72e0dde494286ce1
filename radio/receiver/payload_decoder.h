#pragma once
// Turns one audio payload into 2048 unsigned 8-bit samples (128 = silence).

#include <cstdint>
#include <span>

namespace lumetra::radio {

inline constexpr int kSamplesPerDatagram = 2048;

class PayloadDecoder {
public:
    virtual ~PayloadDecoder() = default;
    virtual void Decode(std::span<const uint8_t> payload, bool filter, std::span<uint8_t, kSamplesPerDatagram> out) = 0;
};

} // namespace lumetra::radio
